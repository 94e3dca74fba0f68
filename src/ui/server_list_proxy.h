// The two server lists as the person arranges them: sorted by the column whose header was
// clicked (player counts and round trips as numbers, "无响应" after every answer) and narrowed to
// the rows whose name or map holds the filter text. The list model keeps its own order; only
// the view's rows are arranged.
#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace brindle::ui {

class ServerListProxy : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  // Columns both lists share: name, map, players, and the round trip.
  static constexpr int kNameColumn = 0, kMapColumn = 1, kPlayersColumn = 2, kPingColumn = 5;

  explicit ServerListProxy(QObject* parent = nullptr);

  // Rows whose name or map holds `text` (letter case ignored) stay; an empty text keeps all.
  void SetFilterText(const QString& text);
  QString FilterText() const { return filter_; }

  // The number a cell sorts by: its leading whole number ("12/64" -> 12, "37 ms" -> 37); -1
  // when it starts with none.
  static long long LeadingNumber(const QString& cell);

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
  bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;

 private:
  QString filter_;
};

// "共 N 个服务器", or "显示 M / 共 N 个服务器" while a filter hides some (`noun`: "服务器",
// "收藏").
QString ServerCountText(int shown, int total, const QString& noun);

}  // namespace brindle::ui
