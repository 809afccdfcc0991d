#!/bin/sh
# A stand-in installer for trying the self-update end to end.
#
# Publishing: copy this file (or a real installer) to
# <content folder>/pegsquare/pegsetup.exe, and write the new version text,
# with no line break after it, to <content folder>/pegsquare/pegsquareversion.txt.
# The program downloads pegsetup.exe beside itself, makes it executable and
# starts it with "/SP- /silent /noicons", then ends at once. A real
# installer must therefore run unattended, wait a moment for the old
# program to end, put the new program file in place of the old one and may
# delete the ".BAK" copy the program left beside it.
#
# This sample only records that it ran: one line with its parameters, into
# the file named by PEGSETUP_RECORD, or pegsetup-ran.txt beside itself. The
# line is written beside the record and renamed into place, so a reader
# never sees half of it.
record="${PEGSETUP_RECORD:-$(dirname "$0")/pegsetup-ran.txt}"
printf '%s\n' "$*" > "$record.part" && mv -f "$record.part" "$record"
