#!/usr/bin/env bash
# Renders the program's images from their SVG sources in resources/images/src/.
#
#   tools/render-images.sh           render into resources/ (the files the program uses)
#   tools/render-images.sh --check   render into a scratch directory and compare with the
#                                    committed files; exits 1 when any differs or is missing
#
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert/compare (imagemagick).
# The rendered files are committed, so building the program does not need this script.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/resources/images/src

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

for tool in rsvg-convert convert compare; do
  if ! command -v "$tool" >/dev/null; then
    echo "render-images: $tool is missing (apt-get install librsvg2-bin imagemagick)" >&2
    exit 1
  fi
done

work=$(mktemp -d)
if ((check)); then
  out=$work/out
  mkdir "$out"
else
  out=$root/resources
fi
trap 'rm -rf "$work"' EXIT

# The colour that the animations are composed on before it is made transparent: GIF has
# one-bit transparency, so soft edges are blended against the light panel colour they are
# shown on instead of leaving a dark fringe.
gif_matte='#eef1f4'
frame_delay_cs=8   # 12 frames x 80 ms: one turn in about a second
frames=12

# Writes a PNG without the time stamps and text chunks that would make every run differ.
png() { # svg output [width height]
  local svg=$1 target=$2
  shift 2
  rsvg-convert ${1:+-w "$1" -h "$2"} "$svg" | convert png:- -strip "png32:$target"
}

# Tool-bar and window buttons: 32 px, and a @2x twin that QIcon picks up on its own on
# high-density screens.
mkdir -p "$out/images/toolbtn"
for svg in "$src"/toolbtn/*.svg; do
  name=$(basename "$svg" .svg)
  png "$svg" "$out/images/toolbtn/$name.png" 32 32
  png "$svg" "$out/images/toolbtn/$name@2x.png" 64 64
done

# The style sheet's own images, at the size each source declares.
mkdir -p "$out/images/style"
for svg in "$src"/style/*.svg; do
  png "$svg" "$out/images/style/$(basename "$svg" .svg).png"
done

# Window backgrounds, at their declared size.
for name in hrctree_top_bg bg_ligth bg_lgrey bg_white transp; do
  png "$src/backgrounds/$name.svg" "$out/images/$name.png"
done

# The language-flag stand-in is a GIF like the flags it stands in for.
rsvg-convert "$src/backgrounds/no_icon.svg" | convert png:- -strip "$out/images/no_icon.gif"

# The program's icon for the desktop, in the hicolor theme's sizes (the SVG itself is
# installed as the scalable size).
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$out/icons/hicolor/${size}x${size}/apps"
  png "$src/app/hrc417-configurator.svg" "$out/icons/hicolor/${size}x${size}/apps/hrc417-configurator.png" "$size" "$size"
done
# The same sizes in one .ico, the Windows program's and installer's icon
# (packaging/windows.cmake).
convert "$out"/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/hrc417-configurator.png \
  "$out/icons/hrc417-configurator.ico"

# Animations: the source's group "spinner" is turned by 360/frames degrees per frame.
animate() { # svg output
  local svg=$1 target=$2 i angle list=()
  for ((i = 0; i < frames; i++)); do
    angle=$((i * 360 / frames))
    sed "s/rotate(0 /rotate($angle /" "$svg" >"$work/frame.svg"
    rsvg-convert "$work/frame.svg" |
      convert png:- -background "$gif_matte" -alpha remove -alpha off "$work/frame$i.png"
    list+=("$work/frame$i.png")
  done
  # Each frame replaces the last one whole ("background" disposal), so the faded
  # elements of a frame do not stay behind through the transparent parts of the next.
  convert -delay "$frame_delay_cs" -loop 0 -dispose background "${list[@]}" \
    -transparent "$gif_matte" -strip "$target"
}
animate "$src/anim/loader.svg" "$out/images/loader.gif"
animate "$src/anim/loadersmall.svg" "$out/loadersmall.gif"

if ((check)); then
  status=0
  while IFS= read -r -d '' file; do
    rel=${file#"$out"/}
    committed=$root/resources/$rel
    if [ ! -f "$committed" ]; then
      echo "missing: resources/$rel"; status=1; continue
    fi
    # Compares pixels (every frame of an animation), not bytes: another librsvg may
    # encode the same picture differently.
    a=$committed b=$file
    if [[ $rel == *.gif ]]; then
      # compare looks at one frame only: stack all frames of each animation first.
      convert "$committed" -coalesce -append "png32:$work/committed.png"
      convert "$file" -coalesce -append "png32:$work/rendered.png"
      a=$work/committed.png b=$work/rendered.png
    fi
    if ! diff=$(compare -metric AE -fuzz 1% "$a" "$b" null: 2>&1) || [ "$diff" != 0 ]; then
      echo "differs: resources/$rel ($diff pixels)"; status=1
    fi
  done < <(find "$out" -type f \( -name '*.png' -o -name '*.gif' \) -print0 | sort -z)
  ((status == 0)) && echo "render-images: committed images match their sources"
  exit $status
fi
echo "render-images: rendered into $out"
