#!/bin/sh
# A stand-in installer for trying the self-update end to end.
#
# Publishing: run publish.sh beside this file, e.g.
#   publish.sh 1.0.2 pegsetup.sh ~/.minisign/minisign.key <content folder>
# It signs this file (or a real installer) with the vendor's minisign key and
# puts the installer, its signature and the version text under
# <content folder>/pegsquare/ in an order no player can catch half done.
# The program downloads pegsetup.exe beside itself and, once its signature
# checks out, makes it executable and starts it with "/SP- /silent /noicons",
# then ends at once. A real installer must therefore run unattended, wait a
# moment for the old program to end, put the new program file in place of
# the old one and may delete the ".BAK" copy the program left beside it.
#
# This sample only records that it ran: one line with its parameters, into
# the file named by PEGSETUP_RECORD, or pegsetup-ran.txt beside itself. The
# line is written beside the record and renamed into place, so a reader
# never sees half of it.
record="${PEGSETUP_RECORD:-$(dirname "$0")/pegsetup-ran.txt}"
printf '%s\n' "$*" > "$record.part" && mv -f "$record.part" "$record"
