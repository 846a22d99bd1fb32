#!/bin/sh
# make-test-links.sh DIR: links for the window's tests, made anew before each
# run (a Windows program under Wine cannot make one): a file reached through
# a link; two game folders, a link to the first and one to the second that a
# test renames over it; links to the first game's master file, in place of an
# export and of the settings file; and a link to standard output.
set -eu
rm -rf "$1"
mkdir -p "$1/game" "$1/game2" "$1/out" "$1/settings"
cd "$1"
printf old > target.csv
ln -s target.csv link.csv
ln -s game glink
ln -s game2 glink2
ln -s ../game/mastplyr.dat out/l1.csv
ln -s /dev/stdout out/so.csv
ln -s ../game/mastplyr.dat settings/galvorfolder.txt
