// Small line icons drawn at run time, so the program ships no image files and the icons stay
// sharp at any scale.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace brindle::ui {

enum class Glyph {
  kDownload,
  kServers,
  kStar,
  kForum,
  kTools,
  kMinimise,
  kClose,
  kSearch,
  kRefresh,
  kCloudUp,
  kCloudDown,
  kAdd,
  kFolder,
  kShield,
  kKeyboard,
  kTranslate,
  kExternal,
  kGlobe,
};

// One glyph as a pixmap of `size` logical pixels.
QPixmap GlyphPixmap(Glyph glyph, int size, const QColor& colour, qreal device_pixel_ratio = 2.0);

// An icon with a normal and an active/checked colour.
QIcon GlyphIcon(Glyph glyph, int size, const QColor& normal, const QColor& active);

// The round default avatar shown while nobody is signed in.
QPixmap DefaultAvatar(int size, qreal device_pixel_ratio = 2.0);

// A square image cut to a circle, for a downloaded avatar.
QPixmap RoundAvatar(const QPixmap& source, int size, qreal device_pixel_ratio = 2.0);

}  // namespace brindle::ui
