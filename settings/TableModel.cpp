#include "settings/TableModel.h"

#include "settings/TableStore.h"

TTableModel::TTableModel(TTableQuery *query, QObject *parent) : QAbstractTableModel(parent), query_(query) {
  connect(query_, &TTableQuery::Reset, this, &TTableModel::Rebuild);
  connect(query_, &TTableQuery::RowChanged, this, &TTableModel::QueryRowChanged);
  connect(query_, &TTableQuery::CurrentChanged, this, &TTableModel::QueryCurrentChanged);
  Rebuild();
}

void TTableModel::Rebuild() {
  beginResetModel();
  columns_.clear();
  if (query_->Active())
    for (int field = 0; field < query_->FieldCount(); ++field)
      if (query_->ColumnVisible(field))
        columns_.push_back(field);
  endResetModel();
  const int current = CurrentRow();
  if (current != currentRow_) {
    currentRow_ = current;
    emit CurrentRowChanged(currentRow_);
  }
}

int TTableModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() || !query_->Active() ? 0 : query_->RecordCount();
}

int TTableModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant TTableModel::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || index.column() >= columnCount() || index.row() >= rowCount())
    return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole)
    return query_->DisplayText(index.row(), columns_[index.column()]);
  if (role == CurrentRowRole)
    return index.row() == CurrentRow();
  return {};
}

QVariant TTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole)
    return {};
  if (orientation == Qt::Horizontal)
    return ColumnField(section);
  return section + 1;
}

Qt::ItemFlags TTableModel::flags(const QModelIndex &index) const {
  if (!index.isValid())
    return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable; // values change only through the parameter window
}

QString TTableModel::ColumnField(int column) const {
  if (column < 0 || column >= columnCount())
    return {};
  return query_->FieldName(columns_[column]);
}

int TTableModel::CurrentRow() const {
  return query_->Active() && query_->RecordCount() > 0 ? query_->RecNo() - 1 : -1;
}

void TTableModel::SetCurrentRow(int row) {
  if (query_->Active() && row >= 0 && row < query_->RecordCount())
    query_->SetRecNo(row + 1);
}

void TTableModel::QueryRowChanged(int row) {
  if (row < rowCount() && columnCount() > 0)
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TTableModel::QueryCurrentChanged(int row) {
  const int previous = currentRow_;
  currentRow_ = row;
  if (previous >= 0)
    QueryRowChanged(previous);
  QueryRowChanged(row);
  if (previous != row)
    emit CurrentRowChanged(row);
}
