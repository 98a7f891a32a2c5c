# Screen measurements for the lock screen's Wine tests; sourced by lockscreen-test.sh.

# screenshot FILE: the whole X screen.
screenshot() {
  import -window root "$1"
}

# bbox FILE X Y W H: the box round every pixel that is not near black inside the given
# area, printed as "LEFT TOP WIDTH HEIGHT" in screen coordinates, or "none" (ImageMagick
# then warns that the box is empty: that warning is expected and dropped).
bbox() {
  local box
  box=$(convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -bordercolor black -border 1 \
        -fuzz 10% -format '%@' info: 2> >(grep -v 'geometry does not contain image' >&2))
  if [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] && ((BASH_REMATCH[1] > 0 && BASH_REMATCH[1] < $4 + 2)); then
    echo "$(($2 + BASH_REMATCH[3] - 1)) $(($3 + BASH_REMATCH[4] - 1)) ${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"
  else
    echo none
  fi
}

# count_colour FILE X Y W H COLOUR: how many pixels of the area have exactly that colour.
count_colour() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage \( +clone -fill "$6" -colorize 100 \) \
    -compose difference -composite -colorspace gray -threshold 0 -negate \
    -precision 12 -format '%[fx:round(mean*w*h)]' info:
}

# differing FILE1 FILE2 X Y W H: how many pixels of the area differ between two shots.
differing() {
  local area="${5}x${6}+${3}+${4}"
  convert "$1" -crop "$area" +repage "$1.area.png"
  convert "$2" -crop "$area" +repage "$2.area.png"
  # compare's exit status is 1 when the pictures differ: the count is the answer.
  compare -metric AE "$1.area.png" "$2.area.png" null: 2>&1 || true
}

# text_rows FILE X Y W H: how many bands of rows inside the area hold bright pixels, apart
# from each other: the lines of text there.
text_rows() {
  convert "$1" -crop "${4}x${5}+${2}+${3}" +repage -colorspace gray -threshold 50% -scale "1x${5}!" \
    -threshold 0 txt:- | awk '/^[0-9]/ { lit = !/#000000|gray\(0\)/; rows += lit && !was; was = lit } END { print rows + 0 }'
}

# twips_to_pixels TWIPS: at the display's 96 DPI, rounded half away from zero.
twips_to_pixels() {
  awk -v t="$1" 'BEGIN { p = t * 96 / 1440; printf "%d\n", (p < 0 ? -int(-p + 0.5) : int(p + 0.5)) }'
}

# centred_left WIDTH_PX CONTROL_TWIPS: where a control of that width stands when centred
# on a window of that outer width.
centred_left() {
  awk -v w="$1" -v c="$2" 'BEGIN { t = w * 1440 / 96 / 2 - c / 2; p = t * 96 / 1440;
    printf "%d\n", (p < 0 ? -int(-p + 0.5) : int(p + 0.5)) }'
}
