// The version of Kestrune 2 that this setup installs, for the resource
// script (the version resource, the install dialog's heading) and the code
// (the Apps entry's "DisplayVersion"). The winget manifests name it too
// (packaging/winget), and the package test compares them with this.
#pragma once

#define KR_VERSION "2.1.0"
#define KR_VERSION_NUMBERS 2, 1, 0, 0
