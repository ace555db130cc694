# Shared by the scripts and the end-to-end tests.

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds;
# fails when SECONDS pass first.
wait_for() {
  local limit=$(($(date +%s%3N) + $1 * 1000))
  shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%3N)" -lt "$limit" ] || return 1
    sleep 0.05
  done
}

# Make sure the Debian packages listed in a file exist.
# ensure_packages FILE: installs what is missing when run as root, otherwise
# prints the exact apt-get line and fails.
ensure_packages() {
  local list missing=()
  list=$(grep -v -E '^\s*(#|$)' "$1")
  for p in $list; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "== installing: ${missing[*]}"
    if [ -z "${QUILLO_APT_UPDATED:-}" ]; then
      apt-get update -q -o DPkg::Lock::Timeout=600 || return 1
      export QUILLO_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=600 "${missing[@]}"
  else
    echo "Missing Debian packages. Install them with:"
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}"
    return 1
  fi
}

# Ends an optional test stage as skipped, loudly: skip_stage STAGE VARIABLE
# REASON. Setting VARIABLE=1 makes the skip a failure instead.
skip_stage() {
  echo "== SKIPPED: $1 stage: $3"
  echo "== ($2=1 makes this a failure)"
  [ -z "${!2:-}" ] || exit 1
  exit 0
}
