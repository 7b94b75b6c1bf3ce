#pragma once
// Resource identifiers of lanying.exe.
#define IDI_APP 1
