#pragma once

#include <string>

// The folder of this user's session where Corvana keeps its socket and links:
// $XDG_RUNTIME_DIR/corvana, or without it (or with a relative value, which the variable's rules
// say to ignore) corvana-UID in the temporary folder ($TMPDIR, else /tmp). Not created here.
std::string runtimeFolder();
