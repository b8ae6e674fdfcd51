#!/bin/sh
# A faulty brain for checking the transcript runner itself: OK to START, the
# same square to every move request, and per its first argument one fault more:
# "chatty" answers INFO lines, "stubborn" does not end at END.
mode="$1"
while IFS= read -r line; do
  case "$line" in
    START*) echo OK ;;
    INFO*) [ "$mode" = chatty ] && echo "MESSAGE info noted" ;;
    END) [ "$mode" = stubborn ] || exit 0 ;;
    *) echo 10,10 ;;
  esac
done
