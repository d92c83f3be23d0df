#!/bin/sh
# Prints the Windows architecture whose programs Wine can run on this machine:
# i686 when the 32-bit Wine loader starts, else x86_64 (kernels built
# without 32-bit support refuse the 32-bit loader with "Exec format error").
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo i686
else
    echo x86_64
fi
