#pragma once

#include <QAbstractTableModel>

class TTableQuery;

// The grid's view of the shared query: whatever the query last opened, its
// visible columns headed by the field names. The query's current record is
// the model's current row; the grid follows CurrentRowChanged and moves the
// query with SetCurrentRow.
class TTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  // true on every cell of the current row
  static constexpr int CurrentRowRole = Qt::UserRole + 1;

  explicit TTableModel(TTableQuery *query, QObject *parent = nullptr);

  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

  // Field name shown in a column ("" when there is none).
  QString ColumnField(int column) const;
  int CurrentRow() const;

public slots:
  void SetCurrentRow(int row);

signals:
  void CurrentRowChanged(int row);

private:
  void Rebuild();
  void QueryRowChanged(int row);
  void QueryCurrentChanged(int row);

  TTableQuery *query_;
  std::vector<int> columns_; // visible column -> query field
  int currentRow_ = -1;
};
