#!/bin/sh
# A brain for checking the transcript runner itself: OK to START, the same
# square to every move request, and per its first argument one thing more:
# "chatty" answers INFO lines with a MESSAGE line and a stray line, "stubborn"
# does not end at END, "talkative" prints MESSAGE and DEBUG lines before OK and
# before every move, "babbling" prints MESSAGE lines for three seconds before
# every move.
mode="$1"
talk() {
  if [ "$mode" = talkative ]; then
    echo "MESSAGE thinking"
    echo "DEBUG nodes 12"
    echo "MESSAGE depth 2"
  fi
}
while IFS= read -r line; do
  case "$line" in
    START*) talk; echo OK ;;
    INFO*) [ "$mode" = chatty ] && echo "MESSAGE info noted" && echo "INFO noted" ;;
    END) [ "$mode" = stubborn ] || exit 0 ;;
    *)
      talk
      if [ "$mode" = babbling ]; then
        for i in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30; do
          echo "MESSAGE still thinking $i"
          sleep 0.1
        done
      fi
      echo 10,10 ;;
  esac
done
