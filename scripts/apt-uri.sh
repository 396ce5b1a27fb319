# Sourced by the set-up scripts: the Debian archive address of the system's
# own apt sources (the base suite's, not the security suite's).
debian_archive_uri() {
  local f uri=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk 'BEGIN{RS=""} /Types:.*deb/ && !/security/ {for(i=1;i<=NF;i++) if($i=="URIs:"){print $(i+1); exit}}' "$f")
    [ -n "$uri" ] && break
  done
  [ -n "$uri" ] || uri=$(awk '$1=="deb" && !/security/ {for(i=2;i<=NF;i++) if($i ~ /^[a-z]+:\/\//){print $i; exit}}' /etc/apt/sources.list 2>/dev/null)
  [ -n "$uri" ] && echo "$uri"
}
