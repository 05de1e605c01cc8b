#pragma once

// The one password under which every entry of every diary is encrypted, whoever the user. A
// user's own password only guards the login: its token is the archive comment, not a key.
inline constexpr char kDiaryArchivePassword[] = "qmt90315526hzrp";
