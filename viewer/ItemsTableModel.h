#pragma once

#include "xmlda/ReplyModel.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <memory>
#include <vector>

namespace opc {

// The table of an OPC XML-DA reply: one row per item (Read, Write, Subscribe, polled refresh),
// per element (Browse), per property (GetProperties), or per field of the server's status
// (GetStatus). Rows are made on demand from the reply's structures, so a reply of 100,000 items
// costs one small index, not 100,000 rows of text.
class TItemsTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  // What the view sorts by: numbers and times by their value, everything else by its text.
  static constexpr int kSortRole = Qt::UserRole + 1;

  enum class TColumn {
    ItemName,
    ItemPath,
    Value,
    Type,
    Quality,
    Timestamp,
    Result,
    ClientHandle,
    Subscription,
    Diagnostic,
    Name,
    Kind,
    Children,
    Properties,
    Property,
    Description,
    Field,
  };

  explicit TItemsTableModel(QObject* parent = nullptr);

  // arrived: when the reply came in by the local clock (invalid when not known).
  void SetReply(std::shared_ptr<const xmlda::TReply> reply, QDateTime arrived = {});
  const std::shared_ptr<const xmlda::TReply>& Reply() const { return FReply; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Sorts the rows themselves, each key made once: a proxy model would make the keys of a long
  // table again at every comparison. Column -1 brings back the reply's own order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  TColumn ColumnAt(int column) const { return FColumns[static_cast<std::size_t>(column)]; }
  // The item or element a row stands for; null for rows of other tables.
  const xmlda::TItem* ItemAt(int row) const;
  const xmlda::TBrowseElement* ElementAt(int row) const;
  // A row's cells and the header as tab-separated text (tabs and line breaks in a cell become
  // blanks, so the text pastes as one row per line).
  QString RowText(int row) const;
  QString HeaderText() const;

private:
  struct TRow {
    int list = 0;  // GetProperties: the property list
    int index = 0; // the item, element, property (-1: a list without properties) or field
  };
  struct TField {
    QString name;
    QString value;
    bool error = false;
  };
  QString Text(const TRow& row, TColumn column) const;
  QVariant SortKey(const TRow& row, TColumn column) const;
  QVariant Foreground(const TRow& row, TColumn column) const;
  const xmlda::TProperty* PropertyAt(const TRow& row) const;
  const xmlda::TResult* ResultAt(const TRow& row) const;
  void BuildStatusFields(const QDateTime& arrived);

  std::shared_ptr<const xmlda::TReply> FReply;
  std::vector<TColumn> FColumns;
  std::vector<TRow> FRows;
  std::vector<TField> FFields;
};

// A value as the table shows it: the text, an array's elements in brackets, a quality in words.
QString ValueText(const xmlda::TValue& value);

} // namespace opc
