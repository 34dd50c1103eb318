#!/usr/bin/env bash
# Succeeds when the 32-bit wine is installed and runs: a kernel without
# 32-bit support refuses its loader even when the package is there.
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" &&
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
