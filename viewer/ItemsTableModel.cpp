#include "viewer/ItemsTableModel.h"

#include "viewer/QualityStyle.h"
#include "xmlda/ResultCodes.h"

#include <QColor>
#include <QFont>
#include <algorithm>
#include <cmath>
#include <variant>

namespace opc {

using namespace Qt::StringLiterals;
using namespace xmlda;

namespace {

using C = TItemsTableModel::TColumn;

QString Q(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Q(const std::optional<std::string>& utf8) {
  return utf8 ? Q(*utf8) : QString();
}

QString ScalarText(const TScalar& scalar) {
  return scalar.nil ? u"(nil)"_s : Q(scalar.text);
}

QString TimeText(const std::optional<TDateTime>& time) {
  return time ? Q(time->text).trimmed() : QString();
}

QString ResultText(const TReply& reply, const std::optional<TResult>& result) {
  if (!result) {
    return {};
  }
  const QString meaning = Q(reply.ErrorText(*result));
  const QString code = Q(result->id.local.empty() ? result->idText : result->id.local);
  return meaning.isEmpty() ? code : code + u" \u2013 "_s + meaning;
}

QVariant NumberOf(const TScalar& scalar) {
  if (const auto* b = std::get_if<bool>(&scalar.typed)) {
    return *b ? 1.0 : 0.0;
  }
  if (const auto* i = std::get_if<std::int64_t>(&scalar.typed)) {
    return static_cast<double>(*i);
  }
  if (const auto* u = std::get_if<std::uint64_t>(&scalar.typed)) {
    return static_cast<double>(*u);
  }
  if (const auto* d = std::get_if<double>(&scalar.typed)) {
    return std::isnan(*d) ? QVariant(ScalarText(scalar)) : QVariant(*d);
  }
  if (const auto* t = std::get_if<TDateTime>(&scalar.typed)) {
    return static_cast<qlonglong>(t->UnixMicros());
  }
  return ScalarText(scalar);
}

QString TypeText(const TValue& value) {
  return value.present ? Q(value.typeText) : QString();
}

QString Cell(QString text) {
  for (QChar& c : text) {
    if (c == u'\t' || c == u'\n' || c == u'\r') {
      c = u' ';
    }
  }
  return text;
}

QString ColumnTitle(C column) {
  switch (column) {
  case C::ItemName:
    return u"Item name"_s;
  case C::ItemPath:
    return u"Item path"_s;
  case C::Value:
    return u"Value"_s;
  case C::Type:
    return u"Type"_s;
  case C::Quality:
    return u"Quality"_s;
  case C::Timestamp:
    return u"Timestamp"_s;
  case C::Result:
    return u"Result"_s;
  case C::ClientHandle:
    return u"Client handle"_s;
  case C::Subscription:
    return u"Subscription"_s;
  case C::Diagnostic:
    return u"Diagnostic info"_s;
  case C::Name:
    return u"Name"_s;
  case C::Kind:
    return u"Kind"_s;
  case C::Children:
    return u"Children"_s;
  case C::Properties:
    return u"Properties"_s;
  case C::Property:
    return u"Property"_s;
  case C::Description:
    return u"Description"_s;
  case C::Field:
    return u"Field"_s;
  }
  return {};
}

// How far the server's clock is from ours, as the engineer reads it.
QString ClockDifference(const TDateTime& replyTime, const QDateTime& arrived) {
  const int assumed = arrived.offsetFromUtc() / 60;
  const double seconds =
      static_cast<double>(replyTime.UnixMicros(assumed) - arrived.toMSecsSinceEpoch() * 1000) / 1e6;
  QString text;
  if (std::fabs(seconds) < 0.0005) {
    text = u"the same as the local clock"_s;
  } else {
    text = u"%1 s %2 the local clock"_s.arg(std::fabs(seconds), 0, 'f', 3)
               .arg(seconds > 0 ? u"ahead of"_s : u"behind"_s);
  }
  if (!replyTime.hasZone) {
    text += u" (no zone sent: local time assumed)"_s;
  }
  return text;
}

} // namespace

QString ValueText(const TValue& value) {
  if (!value.present) {
    return {};
  }
  if (value.quality) {
    return Q(QualityText(value.quality->qualityField, value.quality->limitField));
  }
  if (!value.isArray) {
    return ScalarText(value.scalar);
  }
  QString text = u"["_s;
  for (std::size_t i = 0; i < value.elements.size(); ++i) {
    text += (i ? u", "_s : QString()) + ScalarText(value.elements[i]);
  }
  return text + u"]"_s;
}

TItemsTableModel::TItemsTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TItemsTableModel::SetReply(std::shared_ptr<const TReply> reply, QDateTime arrived) {
  beginResetModel();
  FReply = std::move(reply);
  FColumns.clear();
  FRows.clear();
  FFields.clear();
  if (FReply) {
    switch (FReply->operation) {
    case TOperation::Read:
    case TOperation::Write:
    case TOperation::Subscribe:
    case TOperation::SubscriptionPolledRefresh:
      // What the engineer looks for first stands first: the value, its quality, an error.
      FColumns = {C::ItemName, C::Value,     C::Type,     C::Quality,
                  C::Result,   C::Timestamp, C::ItemPath, C::ClientHandle};
      if (FReply->operation == TOperation::SubscriptionPolledRefresh) {
        FColumns.push_back(C::Subscription);
      }
      FColumns.push_back(C::Diagnostic);
      FRows.reserve(FReply->items.size());
      for (std::size_t i = 0; i < FReply->items.size(); ++i) {
        FRows.push_back({0, static_cast<int>(i)});
      }
      break;
    case TOperation::Browse:
      FColumns = {C::Name, C::Kind, C::ItemName, C::ItemPath, C::Children, C::Properties};
      FRows.reserve(FReply->elements.size());
      for (std::size_t i = 0; i < FReply->elements.size(); ++i) {
        FRows.push_back({0, static_cast<int>(i)});
      }
      break;
    case TOperation::GetProperties:
      FColumns = {C::ItemName, C::Property,    C::Value,   C::Type,
                  C::Result,   C::Description, C::ItemPath};
      for (std::size_t l = 0; l < FReply->propertyLists.size(); ++l) {
        const auto& properties = FReply->propertyLists[l].properties;
        if (properties.empty()) {
          FRows.push_back({static_cast<int>(l), -1});
        }
        for (std::size_t p = 0; p < properties.size(); ++p) {
          FRows.push_back({static_cast<int>(l), static_cast<int>(p)});
        }
      }
      break;
    case TOperation::GetStatus:
    case TOperation::SubscriptionCancel:
      FColumns = {C::Field, C::Value};
      BuildStatusFields(arrived);
      for (std::size_t i = 0; i < FFields.size(); ++i) {
        FRows.push_back({0, static_cast<int>(i)});
      }
      break;
    case TOperation::Unknown:
      break;
    }
  }
  endResetModel();
}

void TItemsTableModel::BuildStatusFields(const QDateTime& arrived) {
  const TReply& r = *FReply;
  const auto add = [this](const QString& name, const QString& value, bool error = false) {
    if (!value.isEmpty()) {
      FFields.push_back({name, value, error});
    }
  };
  if (r.base) {
    const TReplyBase& base = *r.base;
    add(u"Server state"_s, Q(base.serverState), base.serverState != "running");
  }
  if (r.status) {
    const TServerStatus& s = *r.status;
    add(u"Vendor info"_s, Q(s.vendorInfo));
    add(u"Product version"_s, Q(s.productVersion));
    QStringList versions;
    for (const std::string& v : s.supportedInterfaceVersions) {
      versions << Q(v);
    }
    add(u"Interface versions"_s, versions.join(u", "_s));
    QStringList locales;
    for (const std::string& l : s.supportedLocaleIds) {
      locales << Q(l);
    }
    add(u"Locales"_s, locales.join(u", "_s));
    add(u"Status info"_s, Q(s.statusInfo));
    add(u"Start time"_s, TimeText(s.startTime));
  }
  if (r.base) {
    const TReplyBase& base = *r.base;
    add(u"Receive time"_s, TimeText(base.rcvTime));
    add(u"Reply time"_s, TimeText(base.replyTime));
    if (base.replyTime && arrived.isValid()) {
      add(u"Reply time \u2212 local clock"_s, ClockDifference(*base.replyTime, arrived));
    }
    add(u"Client request handle"_s, Q(base.clientRequestHandle));
    add(u"Revised locale"_s, Q(base.revisedLocaleId));
  }
  if (r.operation == TOperation::SubscriptionCancel) {
    add(u"Client request handle"_s, Q(r.clientRequestHandle));
    if (FFields.empty()) {
      add(u"Result"_s, u"cancelled (the reply carries nothing more)"_s);
    }
  }
}

int TItemsTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TItemsTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

const TItem* TItemsTableModel::ItemAt(int row) const {
  if (!FReply || row < 0 || row >= rowCount() || FReply->items.empty() ||
      FReply->operation == TOperation::GetStatus) {
    return nullptr;
  }
  return &FReply->items[static_cast<std::size_t>(FRows[static_cast<std::size_t>(row)].index)];
}

const TBrowseElement* TItemsTableModel::ElementAt(int row) const {
  if (!FReply || row < 0 || row >= rowCount() || FReply->operation != TOperation::Browse) {
    return nullptr;
  }
  return &FReply->elements[static_cast<std::size_t>(FRows[static_cast<std::size_t>(row)].index)];
}

const TProperty* TItemsTableModel::PropertyAt(const TRow& row) const {
  if (row.index < 0) {
    return nullptr;
  }
  return &FReply->propertyLists[static_cast<std::size_t>(row.list)]
              .properties[static_cast<std::size_t>(row.index)];
}

const TResult* TItemsTableModel::ResultAt(const TRow& row) const {
  switch (FReply->operation) {
  case TOperation::GetProperties: {
    const TProperty* property = PropertyAt(row);
    const auto& result = property && property->result
                             ? property->result
                             : FReply->propertyLists[static_cast<std::size_t>(row.list)].result;
    return result ? &*result : nullptr;
  }
  case TOperation::Browse:
  case TOperation::GetStatus:
  case TOperation::SubscriptionCancel:
  case TOperation::Unknown:
    return nullptr;
  default: {
    const auto& result = FReply->items[static_cast<std::size_t>(row.index)].result;
    return result ? &*result : nullptr;
  }
  }
}

QString TItemsTableModel::Text(const TRow& row, TColumn column) const {
  const TReply& r = *FReply;
  const auto i = static_cast<std::size_t>(row.index);
  if (r.operation == TOperation::GetStatus || r.operation == TOperation::SubscriptionCancel) {
    const TField& field = FFields[i];
    return column == C::Field ? field.name : field.value;
  }
  if (r.operation == TOperation::Browse) {
    const TBrowseElement& e = r.elements[i];
    switch (column) {
    case C::Name:
      return Q(e.name);
    case C::Kind:
      return e.isItem ? (e.hasChildren ? u"item, branch"_s : u"item"_s) : u"branch"_s;
    case C::ItemName:
      return Q(e.itemName);
    case C::ItemPath:
      return Q(e.itemPath);
    case C::Children:
      return e.hasChildren ? u"yes"_s : QString();
    case C::Properties: {
      QStringList parts;
      for (const TProperty& p : e.properties) {
        const QString name = Q(p.name.local.empty() ? p.nameText : p.name.local);
        parts << (p.value.present ? name + u"="_s + ValueText(p.value) : name);
      }
      return parts.join(u"; "_s);
    }
    default:
      return {};
    }
  }
  if (r.operation == TOperation::GetProperties) {
    const TPropertyList& list = r.propertyLists[static_cast<std::size_t>(row.list)];
    const TProperty* p = PropertyAt(row);
    switch (column) {
    case C::ItemName:
      return Q(p && p->itemName ? p->itemName : list.itemName);
    case C::ItemPath:
      return Q(p && p->itemPath ? p->itemPath : list.itemPath);
    case C::Property:
      return p ? Q(p->name.local.empty() ? p->nameText : p->name.local) : QString();
    case C::Description:
      return p ? Q(p->description) : QString();
    case C::Value:
      return p ? ValueText(p->value) : QString();
    case C::Type:
      return p ? TypeText(p->value) : QString();
    case C::Result: {
      const TResult* result = ResultAt(row);
      return result ? ResultText(r, *result) : QString();
    }
    default:
      return {};
    }
  }
  const TItem& item = r.items[i];
  switch (column) {
  case C::ItemName:
    return Q(item.itemName);
  case C::ItemPath:
    return Q(item.itemPath);
  case C::Value:
    return ValueText(item.value);
  case C::Type:
    return TypeText(item.value);
  case C::Quality: {
    if (!item.quality) {
      return item.value.present ? u"good"_s : QString();
    }
    QString text = Q(QualityText(item.quality->qualityField, item.quality->limitField));
    if (item.quality->vendorField != 0) {
      text += u", vendor %1"_s.arg(item.quality->vendorField);
    }
    return text;
  }
  case C::Timestamp:
    return TimeText(item.timestamp);
  case C::Result:
    return ResultText(r, item.result);
  case C::ClientHandle:
    return Q(item.clientItemHandle);
  case C::Subscription:
    return Q(item.subscriptionHandle);
  case C::Diagnostic:
    return Q(item.diagnosticInfo);
  default:
    return {};
  }
}

QVariant TItemsTableModel::SortKey(const TRow& row, TColumn column) const {
  const TReply& r = *FReply;
  const TValue* value = nullptr;
  if (column == C::Value) {
    if (r.operation == TOperation::GetProperties) {
      const TProperty* p = PropertyAt(row);
      value = p ? &p->value : nullptr;
    } else if (!r.items.empty() && r.operation != TOperation::GetStatus &&
               r.operation != TOperation::SubscriptionCancel && r.operation != TOperation::Browse) {
      value = &r.items[static_cast<std::size_t>(row.index)].value;
    }
  }
  if (value && value->present && !value->isArray && !value->quality) {
    return NumberOf(value->scalar);
  }
  if (column == C::Timestamp) {
    const auto& time = r.items[static_cast<std::size_t>(row.index)].timestamp;
    if (time) {
      return static_cast<qlonglong>(time->UnixMicros());
    }
  }
  return Text(row, column);
}

QVariant TItemsTableModel::Foreground(const TRow& row, TColumn column) const {
  const TReply& r = *FReply;
  if (r.operation == TOperation::GetStatus || r.operation == TOperation::SubscriptionCancel) {
    return FFields[static_cast<std::size_t>(row.index)].error ? QVariant(ErrorColour())
                                                              : QVariant();
  }
  if (column == C::Quality && r.operation != TOperation::Browse &&
      r.operation != TOperation::GetProperties) {
    const TItem& item = r.items[static_cast<std::size_t>(row.index)];
    if (!item.value.present && !item.quality) {
      return {};
    }
    return QualityColour(QualityClassOf(item.quality ? item.quality->qualityField : "good"));
  }
  const TResult* result = ResultAt(row);
  if (result && result->IsError()) {
    return ErrorColour(); // the whole row: the item failed
  }
  return {};
}

QVariant TItemsTableModel::data(const QModelIndex& index, int role) const {
  if (!FReply || !index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return {};
  }
  const TRow& row = FRows[static_cast<std::size_t>(index.row())];
  const TColumn column = ColumnAt(index.column());
  switch (role) {
  case Qt::DisplayRole:
    return Text(row, column);
  case Qt::ToolTipRole: {
    const QString text = Text(row, column);
    return text.size() > 40 ? text : QVariant();
  }
  case kSortRole:
    return SortKey(row, column);
  case Qt::ForegroundRole:
    return Foreground(row, column);
  case Qt::FontRole:
    if (column == C::Result) {
      const TResult* result = ResultAt(row);
      if (result && result->IsError()) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
    }
    return {};
  default:
    return {};
  }
}

QVariant TItemsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= columnCount()) {
    return {};
  }
  return ColumnTitle(ColumnAt(section));
}

void TItemsTableModel::sort(int column, Qt::SortOrder order) {
  if (!FReply || column >= columnCount()) {
    return;
  }
  struct TKey {
    bool number = false;
    double value = 0;
    QString text;
  };
  const std::size_t n = FRows.size();
  std::vector<TKey> keys(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (column < 0) {
      keys[i] = {true, static_cast<double>(FRows[i].list) * 4294967296.0 + FRows[i].index, {}};
      continue;
    }
    const QVariant key = SortKey(FRows[i], ColumnAt(column));
    if (key.typeId() == QMetaType::Double || key.typeId() == QMetaType::LongLong) {
      keys[i] = {true, key.toDouble(), {}};
    } else {
      keys[i] = {false, 0, key.toString().toCaseFolded()};
    }
  }
  std::vector<std::size_t> byKey(n);
  for (std::size_t i = 0; i < n; ++i) {
    byKey[i] = i;
  }
  // Numbers before texts; equal keys keep their order, so sorting by one column after another
  // groups as the user expects.
  const auto less = [&keys](std::size_t a, std::size_t b) {
    const TKey& x = keys[a];
    const TKey& y = keys[b];
    if (x.number != y.number) {
      return x.number;
    }
    return x.number ? x.value < y.value : x.text < y.text;
  };
  if (order == Qt::AscendingOrder || column < 0) {
    std::stable_sort(byKey.begin(), byKey.end(), less);
  } else {
    std::stable_sort(byKey.begin(), byKey.end(),
                     [&less](std::size_t a, std::size_t b) { return less(b, a); });
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(n);
  std::vector<TRow> rows(n);
  for (std::size_t i = 0; i < n; ++i) {
    rows[i] = FRows[byKey[i]];
    newRowOf[byKey[i]] = static_cast<int>(i);
  }
  const QModelIndexList from = persistentIndexList();
  QModelIndexList to;
  to.reserve(from.size());
  for (const QModelIndex& index : from) {
    to << this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column());
  }
  changePersistentIndexList(from, to);
  FRows = std::move(rows);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TItemsTableModel::RowText(int row) const {
  QStringList cells;
  for (int c = 0; c < columnCount(); ++c) {
    cells << Cell(data(index(row, c), Qt::DisplayRole).toString());
  }
  return cells.join(u'\t');
}

QString TItemsTableModel::HeaderText() const {
  QStringList cells;
  for (int c = 0; c < columnCount(); ++c) {
    cells << headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  return cells.join(u'\t');
}

} // namespace opc
