#!/usr/bin/env bash
# The frei0r modules in the real tools: ffmpeg's frei0r filter and melt load
# the built linestra.so / linestra_layer.so through FREI0R_PATH, and the
# decoded pixels of what they write must equal what linestra-render makes
# from the same frame and settings.
#
#   real_tools_test.sh MODULE_DIR LINESTRA_RENDER CASE
#
# CASE: ffmpeg-still, ffmpeg-clip, ffmpeg-bad-input, melt-filter, melt-mixer.
# Exits 77 (skipped) when ffmpeg or melt is not installed.
set -euo pipefail
module_dir=$1
render=$2
case_name=$3

need() {
  if ! command -v "$1" >/dev/null; then
    echo "SKIP: $1 is not installed (apt-get install $2); the frei0r modules are not checked in it"
    exit 77
  fi
}
need ffmpeg ffmpeg
[[ $case_name == melt-* ]] && need melt melt

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export FREI0R_PATH=$module_dir
# melt's own frei0r search path, on systems whose MLT reads that one.
export MLT_FREI0R_PLUGIN_PATH=$module_dir

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The decoded RGBA bytes of an image file.
rgba() {
  ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgba -
}

# Compares two image files pixel by pixel; says how many bytes differ.
same_pixels() {
  local a=$1 b=$2
  rgba "$a" >a.rgba
  rgba "$b" >b.rgba
  [[ -s a.rgba ]] || fail "$a decodes to nothing"
  if ! cmp -s a.rgba b.rgba; then
    local differ
    differ=$(cmp -l a.rgba b.rgba 2>/dev/null | wc -l || true)
    fail "$a and $b differ in $differ of $(stat -c %s a.rgba) bytes"
  fi
}

differs() {
  rgba "$1" >a.rgba
  rgba "$2" >b.rgba
  ! cmp -s a.rgba b.rgba
}

# The frame, the texture, and the masks: a circle (a scene's mask object in
# a file) and SVG path data with curves.
ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 1 frame.png
ffmpeg -v error -f lavfi -i "testsrc=size=320x180:rate=25" -vf hue=h=90 -frames:v 1 texture.png
echo '{"circle": [640, 360, 220]}' >circle.json
svg='M 300 200 C 500 40 800 40 980 220 S 1100 600 700 620 Q 400 640 300 200 Z'

# linestra-render of frame.png with a mask object and --set values, at
# $time seconds (default 0) of a 25 frames a second run.
reference() {
  local out=$1 mask=$2
  shift 2
  printf '{"input": "frame.png", "mask": %s, "render": {"fps": 25, "time": %s}}\n' "$mask" "${time:-0}" >scene.json
  local sets=()
  for setting in "$@"; do sets+=(--set "$setting"); done
  "$render" scene.json -o "$out" --quiet "${sets[@]}"
}

case $case_name in
ffmpeg-still)
  # Circle mask from a file, a texture file, Mirror X and Texture Offset.
  ffmpeg -v error -y -i frame.png \
    -vf "frei0r=linestra:'@circle.json|texture.png|Mirror X=true;Texture Offset=75;Stroke Length=-90'" \
    -pix_fmt rgba f-circle.png
  reference r-circle.png '{"circle": [640, 360, 220]}' "Specified Layer=texture.png" "Mirror X=true" \
    "Texture Offset=75" "Stroke Length=-90"
  same_pixels f-circle.png r-circle.png
  differs f-circle.png frame.png || fail "the circle's frame came out as the input"
  # SVG path data with curves, the placeholder texture, Fade Out.
  ffmpeg -v error -y -i frame.png -vf "frei0r=linestra:'$svg||Fade Out=30;Composite On Original=false'" \
    -pix_fmt rgba f-svg.png
  reference r-svg.png "{\"svg\": \"$svg\"}" "Fade Out=30" "Composite On Original=false"
  same_pixels f-svg.png r-svg.png
  # A frei0r value by position: after Mask, Texture, Controls come the
  # controls in order; the first is Expand/Contract Path (-5000 to 5000),
  # 0.5078125 of which is 78.125.
  ffmpeg -v error -y -i frame.png -vf "frei0r=linestra:'@circle.json|||0.5078125'" -pix_fmt rgba f-expand.png
  reference r-expand.png '{"circle": [640, 360, 220]}' "Expand/Contract Path=78.125"
  same_pixels f-expand.png r-expand.png
  ;;
ffmpeg-clip)
  # Two seconds at 25 frames a second; Texture Offset changes at 1 s.
  ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=25 -t 2 -c:v ffv1 clip.mkv
  printf "1.0 frei0r filter_params '@circle.json|texture.png|Texture Offset=120';\n" >commands.txt
  ffmpeg -v error -y -i clip.mkv \
    -vf "sendcmd=f=commands.txt,frei0r=linestra:'@circle.json|texture.png|Texture Offset=0'" \
    -pix_fmt rgba out_%02d.png
  count=$(ls out_*.png | wc -l)
  [[ $count -eq 50 ]] || fail "the clip gave $count frames, not 50"
  for frame in 0 24 25 49; do
    printf -v name 'out_%02d.png' $((frame + 1))
    ffmpeg -v error -y -i clip.mkv -vf "select=eq(n\,$frame)" -frames:v 1 -pix_fmt rgba in.png
    mv in.png frame.png
    offset=$([[ $frame -lt 25 ]] && echo 0 || echo 120)
    time=$(awk "BEGIN { print $frame / 25 }")
    reference ref.png '{"circle": [640, 360, 220]}' "Specified Layer=texture.png" "Texture Offset=$offset"
    same_pixels "$name" ref.png
  done
  # The offset changed the picture, not only the clip's own motion: the
  # last frame rendered with the first offset differs from what ffmpeg wrote.
  reference ref.png '{"circle": [640, 360, 220]}' "Specified Layer=texture.png" "Texture Offset=0"
  differs out_50.png ref.png || fail "Texture Offset did not change over time"
  ;;
ffmpeg-bad-input)
  ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 3 -c:v ffv1 small.mkv
  ffmpeg -v error -i small.mkv -pix_fmt rgba in_%02d.png
  for bad in "M 10 10 L oops||" "@circle.json|missing-texture.png|"; do
    rm -f out_*.png
    ffmpeg -v error -y -i small.mkv -vf "frei0r=linestra:'$bad'" -pix_fmt rgba out_%02d.png 2>stderr.txt ||
      fail "ffmpeg failed on '$bad': $(cat stderr.txt)"
    for k in 01 02 03; do same_pixels "out_$k.png" "in_$k.png"; done
    messages=$(grep -c '^linestra: ' stderr.txt || true)
    [[ $messages -eq 1 ]] || fail "'$bad' gave $messages messages, not 1: $(cat stderr.txt)"
    cat stderr.txt
  done
  ;;
melt-filter)
  # melt keeps the frame as it is only with a square-pixel profile and the
  # frame's size on the consumer.
  melt -quiet -profile square_pal frame.png out=0 \
    -filter frei0r.linestra "Mask=@circle.json" "Mirror X=1" "Fade Out=0.5" \
    -consumer avformat:m_%03d.png vcodec=png pix_fmt=rgba width=1280 height=720 2>melt.txt ||
    fail "melt: $(cat melt.txt)"
  # The image muxer numbers from 1.
  [[ -f m_001.png ]] || fail "melt wrote no frame: $(cat melt.txt)"
  reference r-melt.png '{"circle": [640, 360, 220]}' "Mirror X=true" "Fade Out=50"
  same_pixels m_001.png r-melt.png
  ;;
melt-mixer)
  # The mixer: the second track's clip is the Specified Layer.
  ffmpeg -v error -y -i texture.png -vf scale=1280:720:flags=neighbor texture-720.png
  melt -quiet -profile square_pal frame.png out=0 -track texture-720.png out=0 \
    -transition frei0r.linestra_layer a_track=0 b_track=1 in=0 out=0 "Mask=@circle.json" \
    -consumer avformat:x_%03d.png vcodec=png pix_fmt=rgba width=1280 height=720 2>melt.txt ||
    fail "melt: $(cat melt.txt)"
  [[ -f x_001.png ]] || fail "melt wrote no frame: $(cat melt.txt)"
  reference r-mixer.png '{"circle": [640, 360, 220]}' "Specified Layer=texture-720.png"
  same_pixels x_001.png r-mixer.png
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
