#include "ui/server_list_proxy.h"

namespace brindle::ui {

ServerListProxy::ServerListProxy(QObject* parent) : QSortFilterProxyModel(parent) {
  setSortCaseSensitivity(Qt::CaseInsensitive);
  setFilterCaseSensitivity(Qt::CaseInsensitive);
}

void ServerListProxy::SetFilterText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed == filter_) return;
  filter_ = trimmed;
  invalidateFilter();
}

long long ServerListProxy::LeadingNumber(const QString& cell) {
  long long value = -1;
  for (const QChar c : cell) {
    if (!c.isDigit() || c.unicode() > 127) break;
    value = (value < 0 ? 0 : value * 10) + (c.unicode() - '0');
    if (value > 1000000000LL) break;
  }
  return value;
}

bool ServerListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QString a = left.data().toString();
  const QString b = right.data().toString();
  const int column = left.column();
  if (column == kPlayersColumn || column == kPingColumn) {
    const long long x = LeadingNumber(a);
    const long long y = LeadingNumber(b);
    // A cell without a number (not answered, not asked yet) sorts after every number.
    if ((x < 0) != (y < 0)) return y < 0;
    if (x != y) return x < y;
    if (column == kPlayersColumn) {
      // Equal counts go by their slots.
      const long long sx = LeadingNumber(a.mid(a.indexOf(QLatin1Char('/')) + 1));
      const long long sy = LeadingNumber(b.mid(b.indexOf(QLatin1Char('/')) + 1));
      if (sx != sy) return sx < sy;
    }
    return a < b;
  }
  return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

bool ServerListProxy::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (filter_.isEmpty()) return true;
  const QAbstractItemModel* source = sourceModel();
  for (const int column : {kNameColumn, kMapColumn}) {
    const QString cell = source->index(source_row, column, source_parent).data().toString();
    if (cell.contains(filter_, Qt::CaseInsensitive)) return true;
  }
  return false;
}

QString ServerCountText(int shown, int total, const QString& noun) {
  if (shown == total) return QStringLiteral("共 %1 个%2").arg(total).arg(noun);
  return QStringLiteral("显示 %1 / 共 %2 个%3").arg(shown).arg(total).arg(noun);
}

}  // namespace brindle::ui
