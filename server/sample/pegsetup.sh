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
# never sees half of it. It puts no program in place, so it says so, on
# standard error (the terminal the game was started from) and, where a
# desktop can show one, in a notification, with the way back to the game.
folder=$(dirname "$0")
record="${PEGSETUP_RECORD:-$folder/pegsetup-ran.txt}"
printf '%s\n' "$*" > "$record.part" && mv -f "$record.part" "$record"

backup=$(ls "$folder"/*.BAK 2>/dev/null | head -n 1)
if [ -n "$backup" ]; then
    program="${backup%.BAK}"
    way_back="The game you had is kept as $backup: rename it back to $program (mv '$backup' '$program') to play again."
else
    way_back="Reinstall Pegsquare to play again."
fi
message="This is the sample installer of the Pegsquare server. It only recorded that it ran (in $record); it did not put a new Pegsquare program in place. $way_back"
printf 'pegsetup: %s\n' "$message" >&2
if [ -n "${DISPLAY}${WAYLAND_DISPLAY}" ] && command -v notify-send >/dev/null 2>&1; then
    notify-send "Pegsquare was not updated" "$message" >/dev/null 2>&1 || true
fi
exit 0
