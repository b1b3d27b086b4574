#!/bin/bash
# Runs example N of a document (a ```console block in Markdown, .EX on the manual page: commands
# behind "$ ", each on a line of its own, then what they print) and compares what they print with
# the text, so that the documents cannot drift from the launcher. It runs in a fresh world holding
# the document's paths, each command's /opt, /srv and /home mapped into it: the tree /opt/tovrek,
# whose overlay is the document's own shell script, a copy in /srv/shared, which everyone may write,
# and the home /home/ann. The world's directory is cut from the output, and the owner of its files
# is shown as root, who installs a tree.
#   doc_examples.sh DOCUMENT N LAUNCHER STAMP CATALOGS LOCALES WORLD
set -eu
doc=$1 index=$2 launcher=$3 stamp=$4 catalogs=$5 locales=$6 world=$7 tree=$7/opt/tovrek
# The text as a reader sees it: on the manual page, the escapes undone.
plain() { [[ $doc != *.1 ]] && cat "$doc" || sed 's/\\-/-/g; s/\\(aq/'"'"'/g; s/\\(dq/"/g; s/\\&//g; s/\\e/\\/g' "$doc"; }
example=$(plain | awk -v want="$index" '/^(```console|\.EX)$/ { open = 1; first = 1; next }
    open && /^(```|\.EE)$/ { open = 0 }
    open && first { first = 0; open = /^\$ / ; count += open }
    open && count == want')
[ -n "$example" ] || { echo "$doc has no example $index"; exit 1; }

rm -rf "$world"
mkdir -p "$tree/bin" "$tree/ver" "$tree/lib" "$world/home/ann" "$world/srv/shared"
cp "$launcher" "$tree/bin/tvkcombo" && cp "$stamp" "$tree/ver/tvkcombo" && cp -r "$catalogs" "$tree/nls"
plain | awk '/^#!\/bin\/sh$/ { on = 1 } on && /^(```|\.EE)$/ { exit } on' >"$tree/bin/tvkcombo.ovl"
chmod 755 "$tree/bin/tvkcombo.ovl" && cp -a "$tree" "$world/srv/shared/" && chmod 777 "$world/srv/shared"

cd "$world/home/ann"
actual=$(grep '^\$ ' <<<"$example" | while IFS= read -r line; do
    command=$(sed -E "s#(^|[ =:'\"])(/opt|/srv|/home)\\b#\\1$world\\2#g" <<<"${line#\$ }")
    output=$(env -i HOME="$PWD" PATH="$tree/bin:/usr/bin:/bin" LOCPATH="$locales" sh -c "$command" 2>&1 </dev/null) || true
    output=${output//"$world"/}
    printf '%s\n' "$line" ${output:+"${output//"(owner $(id -u),"/(owner 0,}"}
done)
diff -u --label "$doc, example $index" --label "what it prints" <(printf '%s\n' "$example") <(printf '%s\n' "$actual")
