#pragma once

#include <QString>

namespace platform::window {

// The installed font family to draw Simplified Chinese text in when the
// form names `preferred` (e.g. "宋体"): `preferred` itself when it
// is installed, otherwise fontconfig's nearest match for it among fonts
// covering Simplified Chinese, so that Latin letters and Chinese
// characters come from one face and nothing shows as boxes. Without
// fontconfig (Windows) `preferred` comes back unchanged.
QString ChineseFontFamily(const QString& preferred);

}  // namespace platform::window
