#pragma once

// The environment variable that names the folder of a program's single-
// instance lock and socket, so that a test can give it one of its own: the
// session's runtime folder on POSIX systems; on Windows the temporary
// folder, which Windows takes from TMP first.
#ifdef _WIN32
inline constexpr char singleInstanceFolderVariable[] = "TMP";
#else
inline constexpr char singleInstanceFolderVariable[] = "XDG_RUNTIME_DIR";
#endif
