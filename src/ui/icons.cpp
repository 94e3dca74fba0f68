#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace brindle::ui {
namespace {

// Every glyph is drawn on a 24 x 24 grid with round 1.8-unit strokes.
void DrawGlyph(QPainter& p, Glyph glyph) {
  QPainterPath path;
  switch (glyph) {
    case Glyph::kDownload:
      path.moveTo(12, 3);
      path.lineTo(12, 15);
      path.moveTo(7, 10);
      path.lineTo(12, 15);
      path.lineTo(17, 10);
      path.moveTo(4, 17);
      path.lineTo(4, 20);
      path.lineTo(20, 20);
      path.lineTo(20, 17);
      break;
    case Glyph::kServers:
      path.addRoundedRect(4, 4, 16, 6, 1.5, 1.5);
      path.addRoundedRect(4, 14, 16, 6, 1.5, 1.5);
      path.moveTo(7.5, 7);
      path.lineTo(8, 7);
      path.moveTo(7.5, 17);
      path.lineTo(8, 17);
      break;
    case Glyph::kStar: {
      const QPointF pts[] = {{12, 3},    {14.7, 8.6}, {20.8, 9.3}, {16.3, 13.5}, {17.5, 19.6},
                             {12, 16.6}, {6.5, 19.6}, {7.7, 13.5}, {3.2, 9.3},   {9.3, 8.6}};
      path.moveTo(pts[0]);
      for (const auto& pt : pts) path.lineTo(pt);
      path.closeSubpath();
      break;
    }
    case Glyph::kForum:
      path.moveTo(5, 5);
      path.lineTo(19, 5);
      path.quadTo(20, 5, 20, 6);
      path.lineTo(20, 15);
      path.quadTo(20, 16, 19, 16);
      path.lineTo(11, 16);
      path.lineTo(7, 20);
      path.lineTo(7, 16);
      path.lineTo(5, 16);
      path.quadTo(4, 16, 4, 15);
      path.lineTo(4, 6);
      path.quadTo(4, 5, 5, 5);
      path.moveTo(8, 9);
      path.lineTo(16, 9);
      path.moveTo(8, 12);
      path.lineTo(13, 12);
      break;
    case Glyph::kTools:
      path.moveTo(14.5, 4.5);
      path.arcTo(13, 3, 8, 8, 135, -270);
      path.moveTo(15, 9);
      path.lineTo(5, 19);
      path.moveTo(4, 18);
      path.lineTo(6, 20);
      break;
    case Glyph::kMinimise:
      path.moveTo(6, 12);
      path.lineTo(18, 12);
      break;
    case Glyph::kClose:
      path.moveTo(6, 6);
      path.lineTo(18, 18);
      path.moveTo(18, 6);
      path.lineTo(6, 18);
      break;
    case Glyph::kSearch:
      path.addEllipse(QPointF(10.5, 10.5), 6, 6);
      path.moveTo(15, 15);
      path.lineTo(20, 20);
      break;
    case Glyph::kRefresh:
      path.arcMoveTo(5, 5, 14, 14, 60);
      path.arcTo(5, 5, 14, 14, 60, 290);
      path.moveTo(15.5, 3.5);
      path.lineTo(15.5, 7.9);
      path.lineTo(20, 7.9);
      break;
    case Glyph::kCloudUp:
    case Glyph::kCloudDown:
      path.moveTo(7, 18);
      path.quadTo(3, 18, 3, 14.5);
      path.quadTo(3, 11, 6.5, 11);
      path.quadTo(7, 5, 12.5, 5);
      path.quadTo(17.5, 5, 18, 10);
      path.quadTo(21, 10.5, 21, 14);
      path.quadTo(21, 18, 17, 18);
      if (glyph == Glyph::kCloudUp) {
        path.moveTo(12, 20);
        path.lineTo(12, 11);
        path.moveTo(9, 14);
        path.lineTo(12, 11);
        path.lineTo(15, 14);
      } else {
        path.moveTo(12, 11);
        path.lineTo(12, 20);
        path.moveTo(9, 17);
        path.lineTo(12, 20);
        path.lineTo(15, 17);
      }
      break;
    case Glyph::kAdd:
      path.moveTo(12, 5);
      path.lineTo(12, 19);
      path.moveTo(5, 12);
      path.lineTo(19, 12);
      break;
    case Glyph::kFolder:
      path.moveTo(3.5, 7);
      path.quadTo(3.5, 5, 5.5, 5);
      path.lineTo(9.5, 5);
      path.lineTo(11.5, 7);
      path.lineTo(18.5, 7);
      path.quadTo(20.5, 7, 20.5, 9);
      path.lineTo(20.5, 17);
      path.quadTo(20.5, 19, 18.5, 19);
      path.lineTo(5.5, 19);
      path.quadTo(3.5, 19, 3.5, 17);
      path.closeSubpath();
      break;
    case Glyph::kShield:
      path.moveTo(12, 3);
      path.lineTo(19, 6);
      path.lineTo(19, 11);
      path.quadTo(19, 17.5, 12, 21);
      path.quadTo(5, 17.5, 5, 11);
      path.lineTo(5, 6);
      path.closeSubpath();
      path.moveTo(9, 12);
      path.lineTo(11.2, 14.2);
      path.lineTo(15.2, 9.8);
      break;
    case Glyph::kKeyboard:
      path.addRoundedRect(3, 6, 18, 12, 2, 2);
      for (int x = 6; x <= 18; x += 3) {
        path.moveTo(x, 10);
        path.lineTo(x + 0.5, 10);
      }
      path.moveTo(8, 14.5);
      path.lineTo(16, 14.5);
      break;
    case Glyph::kTranslate:
      path.moveTo(4, 6);
      path.lineTo(13, 6);
      path.moveTo(8.5, 4);
      path.lineTo(8.5, 6);
      path.moveTo(11, 6);
      path.quadTo(9.5, 12, 5, 15);
      path.moveTo(6.5, 9);
      path.quadTo(8.5, 12.5, 12, 14);
      path.moveTo(12.5, 20);
      path.lineTo(16.5, 10);
      path.lineTo(20.5, 20);
      path.moveTo(14, 16.5);
      path.lineTo(19, 16.5);
      break;
    case Glyph::kExternal:
      path.moveTo(13, 4);
      path.lineTo(20, 4);
      path.lineTo(20, 11);
      path.moveTo(20, 4);
      path.lineTo(11, 13);
      path.moveTo(17, 14);
      path.lineTo(17, 19);
      path.lineTo(5, 19);
      path.lineTo(5, 7);
      path.lineTo(10, 7);
      break;
    case Glyph::kGlobe:
      path.addEllipse(QPointF(12, 12), 8.5, 8.5);
      path.addEllipse(QPointF(12, 12), 3.8, 8.5);
      path.moveTo(3.5, 12);
      path.lineTo(20.5, 12);
      break;
  }
  p.drawPath(path);
}

QPixmap Canvas(int size, qreal dpr) {
  QPixmap pixmap(static_cast<int>(size * dpr), static_cast<int>(size * dpr));
  pixmap.setDevicePixelRatio(dpr);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QPixmap GlyphPixmap(Glyph glyph, int size, const QColor& colour, qreal device_pixel_ratio) {
  QPixmap pixmap = Canvas(size, device_pixel_ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 24.0, size / 24.0);
  QPen pen(colour, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  DrawGlyph(p, glyph);
  return pixmap;
}

QIcon GlyphIcon(Glyph glyph, int size, const QColor& normal, const QColor& active) {
  QIcon icon;
  const QPixmap off = GlyphPixmap(glyph, size, normal);
  const QPixmap on = GlyphPixmap(glyph, size, active);
  icon.addPixmap(off, QIcon::Normal, QIcon::Off);
  icon.addPixmap(on, QIcon::Normal, QIcon::On);
  icon.addPixmap(on, QIcon::Active, QIcon::Off);
  icon.addPixmap(on, QIcon::Active, QIcon::On);
  icon.addPixmap(GlyphPixmap(glyph, size, QColor(148, 163, 184)), QIcon::Disabled, QIcon::Off);
  return icon;
}

QPixmap DefaultAvatar(int size, qreal device_pixel_ratio) {
  QPixmap pixmap = Canvas(size, device_pixel_ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(51, 65, 92));
  p.drawEllipse(QRectF(0, 0, size, size));
  p.setBrush(QColor(148, 163, 184));
  const qreal s = size / 24.0;
  p.drawEllipse(QPointF(12 * s, 9.5 * s), 4 * s, 4 * s);
  QPainterPath body;
  body.moveTo(4.5 * s, 20.5 * s);
  body.quadTo(5.5 * s, 14.5 * s, 12 * s, 14.5 * s);
  body.quadTo(18.5 * s, 14.5 * s, 19.5 * s, 20.5 * s);
  body.closeSubpath();
  QPainterPath clip;
  clip.addEllipse(QRectF(0, 0, size, size));
  p.setClipPath(clip);
  p.drawPath(body);
  return pixmap;
}

QPixmap RoundAvatar(const QPixmap& source, int size, qreal device_pixel_ratio) {
  if (source.isNull()) return DefaultAvatar(size, device_pixel_ratio);
  QPixmap pixmap = Canvas(size, device_pixel_ratio);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  QPainterPath clip;
  clip.addEllipse(QRectF(0, 0, size, size));
  p.setClipPath(clip);
  p.drawPixmap(QRectF(0, 0, size, size), source, QRectF(source.rect()));
  return pixmap;
}

}  // namespace brindle::ui
