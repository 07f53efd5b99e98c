#include "platform/window/qt/font_family.h"

#include <QFontDatabase>

#ifdef E2D_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace platform::window {

QString ChineseFontFamily(const QString& preferred) {
  if (QFontDatabase::hasFamily(preferred)) return preferred;
#ifdef E2D_HAVE_FONTCONFIG
  // Asking for the family alone gets a Latin-only face on systems without
  // it; the language is what steers the match to a Chinese font.
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return preferred;
  const QByteArray family = preferred.toUtf8();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  QString chosen = preferred;
  FcChar8* name = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
    chosen = QString::fromUtf8(reinterpret_cast<const char*>(name));
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return chosen;
#else
  return preferred;
#endif
}

}  // namespace platform::window
