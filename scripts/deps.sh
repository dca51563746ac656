#!/usr/bin/env bash
# Installs whatever the build and the tests need from Debian's packages and
# generates the zh_CN.UTF-8 locale, so that Wine reports code page 936.
# Does nothing when everything is there already.
set -euo pipefail

packages=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine fonts-wqy-zenhei fonts-wqy-microhei
          locales cmake ninja-build g++ googletest librapidcheck-dev xvfb x11-apps x11-xserver-utils imagemagick
          python3 clang-format ntfs-3g e2fsprogs nlohmann-json3-dev
          chromium poppler-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "deps: generating the zh_CN.UTF-8 locale"
  "${sudo_cmd[@]}" sed -i 's/^# *zh_CN.UTF-8/zh_CN.UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
