#!/bin/bash
# A brain for checking kelmo-match: it keeps the board from BOARD, TURN and its
# own moves and always plays the first empty square in reading order, so every
# move is legal and the game is decided on the board. Per its first argument:
#   talkative  MESSAGE and DEBUG lines before OK, before every move and after
#              every INFO line, as brains that report their search do
#   refuse     a MESSAGE line and then an ERROR line instead of OK to START
#   stray      a line that is neither information nor a move before every move
mode="$1"
cells=()
in_board=0

talk() {
  [ "$mode" = talkative ] || return 0
  echo "MESSAGE thinking about $1"
  echo "DEBUG nodes 0"
  echo "MESSAGE depth 1-1 done"
}

play() {
  talk "a move"
  [ "$mode" = stray ] && echo "thinking hard"
  for ((square = 0; square < 400; square++)); do
    if [ -z "${cells[square]}" ]; then
      cells[square]=1
      echo "$((square % 20)),$((square / 20))"
      return
    fi
  done
}

while IFS= read -r line; do
  line="${line%$'\r'}"
  if [ "$in_board" = 1 ]; then
    if [ "$line" = DONE ]; then
      in_board=0
      play
    else
      IFS=, read -r x y owner <<<"$line"
      cells[y * 20 + x]=$owner
    fi
    continue
  fi
  case "$line" in
    START*)
      cells=()
      if [ "$mode" = refuse ]; then
        echo "MESSAGE looking at the board size"
        echo "ERROR no games today"
      else
        talk START
        echo OK
      fi ;;
    INFO*) [ "$mode" = talkative ] && echo "MESSAGE noted: $line" ;;
    BOARD) cells=(); in_board=1 ;;
    BEGIN) play ;;
    TURN*)
      IFS=, read -r x y <<<"${line#TURN }"
      cells[y * 20 + x]=2
      play ;;
    END) exit 0 ;;
  esac
done
