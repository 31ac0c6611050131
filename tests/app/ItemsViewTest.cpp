#include "AppTestHelpers.h"
#include "AppTests.h"
#include "ItemsReplies.h"
#include "LoopbackServer.h"
#include "app/ApplicationPaths.h"
#include "app/TMemo.h"
#include "sim/Routes.h"
#include "viewer/ItemsTableModel.h"
#include "viewer/QualityStyle.h"
#include "viewer/TItemsView.h"
#include "viewer/TWebBrowser.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTabBar>
#include <QTableView>
#include <set>

namespace opc::test {

using namespace Qt::StringLiterals;
using C = TItemsTableModel::TColumn;

namespace {

// The simulator in this process.
struct Simulator {
  sim::TService service;
  TLoopbackServer<> http;
  Simulator() {
    sim::AddServiceRoutes(http.server, service);
    http.Start();
  }
  QString Url() const {
    return u"http://127.0.0.1:"_s + QString::number(http.port) +
           QString::fromLatin1(sim::kServicePath);
  }
};

Simulator& TheSimulator() {
  static Simulator simulator;
  return simulator;
}

// The shipped templates in a folder of the test's own, where the window also writes its replies.
struct ShippedTemplates {
  QTemporaryDir dir;
  ShippedTemplates() {
    for (const char16_t* operation : kOperations) {
      const QString name = QString::fromUtf16(operation) + u".x"_s;
      QFile::copy(QFile::decodeName(QByteArray::fromStdString(ExecutableFolder().native())) + name,
                  dir.path() + u'/' + name);
    }
  }
  QString Path() const { return dir.path() + u'/'; }
};

// One window against the simulator, driven as a user drives it.
struct Window {
  ShippedTemplates templates;
  ErrorRecorder errors;
  TForm1 form{templates.Path()};
  TItemsView* items = form.WebBrowser1->ItemsView();

  Window() {
    form.show();
    form.eURL->setText(TheSimulator().Url());
  }
  const xmlda::TReply& Reply() const { return *items->Reply(); }
  TItemsTableModel& Model() const { return *items->Model(); }

  // F9 as the button runs it; returns once the Items view has read the reply.
  bool Go() {
    QSignalSpy ready(items, &TItemsView::Ready);
    QTest::mouseClick(form.bGo, Qt::LeftButton);
    if (!errors.shown.isEmpty()) {
      qWarning() << errors.shown;
      return false;
    }
    return ready.wait(10000);
  }
  // F9 pressed where the user's focus is: on the table of the Items view.
  bool GoFromTable() {
    QSignalSpy ready(items, &TItemsView::Ready);
    items->Table()->setFocus();
    QTest::keyClick(items->Table(), Qt::Key_F9);
    return errors.shown.isEmpty() && ready.wait(10000);
  }
  void Choose(const QString& operation) {
    test::Choose(form, form.cXMLCommand->findText(operation));
  }
  // Selects the rows whose name (Browse) or item name matches.
  int Select(const QString& pattern) {
    const QRegularExpression re(u"^(?:"_s + pattern + u")$"_s);
    auto* proxy = items->Table()->model();
    QItemSelection selection;
    int n = 0;
    const int nameColumn = 0; // Name (Browse) and Item name stand first
    for (int row = 0; row < proxy->rowCount(); ++row) {
      if (re.match(proxy->index(row, nameColumn).data().toString()).hasMatch()) {
        selection.select(proxy->index(row, 0), proxy->index(row, proxy->columnCount() - 1));
        ++n;
      }
    }
    items->Table()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    return n;
  }
  bool Trigger(const QString& title) {
    QAction* action = items->Action(title);
    if (!action || !action->isVisible() || !action->isEnabled()) {
      qWarning() << "action not offered:" << title;
      return false;
    }
    action->trigger();
    return true;
  }
  int Column(C column) const {
    for (int c = 0; c < Model().columnCount(); ++c) {
      if (Model().ColumnAt(c) == column) {
        return c;
      }
    }
    return -1;
  }
  QString Cell(int row, C column) const {
    return Model().index(row, Column(column)).data().toString();
  }
};

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  QFile file(dir.path() + u'/' + name);
  file.open(QIODevice::WriteOnly);
  file.write(bytes);
  return file.fileName();
}

} // namespace

// The Items view and its next requests, through the window against the simulator.
class ItemsViewTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase() { TheSimulator(); }

  // Each action: what it puts into the window, and that the server takes the request it makes.
  void actions_data() {
    QTest::addColumn<QString>("operation"); // sent first, from its template
    QTest::addColumn<QString>("from");      // the template changed from this ...
    QTest::addColumn<QString>("to");        // ... to this before it is sent
    QTest::addColumn<QString>("select");    // the rows whose name matches
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("next");        // the operation chosen by the action
    QTest::addColumn<QStringList>("request"); // what the editor then holds, among the rest
    QTest::addColumn<int>("rows");            // rows of the next reply; -1: one per selected row
    QTest::addRow("browse into a branch")
        << u"Browse"_s << u"ItemName=\"Static\""_s << u"ItemName=\"\""_s << u"Paging"_s
        << u"Browse into"_s << u"Browse"_s
        << QStringList{u"ItemName=\"Paging\""_s, u"MaxElementsReturned=\"100\""_s,
                       u"ReturnErrorText=\"true\""_s}
        << 100;
    QTest::addRow("read from browse")
        << u"Browse"_s << QString() << QString() << u".*"_s << u"Read"_s << u"Read"_s
        << QStringList{u"<Items ItemName=\"Static/Int32\" ClientItemHandle="_s,
                       u"RequestDeadline=\"#now+1m#\""_s, u"<ItemList MaxAge=\"0\">"_s}
        << -1;
    QTest::addRow("properties from browse")
        << u"Browse"_s << QString() << QString() << u"Int32|Double"_s << u"Get properties"_s
        << u"GetProperties"_s
        << QStringList{u"<ItemIDs ItemName=\"Static/Int32\"/>"_s,
                       u"<ItemIDs ItemName=\"Static/Double\"/>"_s, u"ReturnAllProperties"_s}
        << -2;
    QTest::addRow("subscribe from browse")
        << u"Browse"_s << QString() << QString() << u"Int32|String"_s << u"Subscribe"_s
        << u"Subscribe"_s
        << QStringList{u"ItemName=\"Static/String\""_s, u"SubscriptionPingRate=\"30000\""_s,
                       u"RequestedSamplingRate=\"500\""_s}
        << -1;
    QTest::addRow("write what was read")
        << u"Read"_s << u"\"Static/"_s << u"\"Writable/"_s << u"Writable/.*"_s << u"Write"_s
        << u"Write"_s
        << QStringList{u"<Value xsi:type=\"xsd:int\">0</Value>"_s,
                       u"<Value xsi:type=\"xsd:double\">"_s, u"ReturnValuesOnReply=\"true\""_s}
        << -1;
  }
  void actions() {
    QFETCH(QString, operation);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, select);
    QFETCH(QString, action);
    QFETCH(QString, next);
    QFETCH(QStringList, request);
    QFETCH(int, rows);
    Window w;
    w.Choose(operation);
    if (!from.isEmpty()) {
      w.form.Memo1->SetText(w.form.Memo1->Text().replace(from, to));
    }
    QVERIFY(w.Go());
    QCOMPARE(w.form.WebBrowser1->findChild<QTabBar*>()->currentIndex(), 2); // opens on Items
    const int selected = w.Select(select);
    QVERIFY(selected > 0);
    QVERIFY(w.Trigger(action));
    QCOMPARE(w.errors.shown, QStringList());
    QCOMPARE(w.form.cXMLCommand->currentText(), next);
    for (const QString& part : request) {
      QVERIFY2(w.form.Memo1->Text().contains(part), qPrintable(w.form.Memo1->Text()));
    }
    QVERIFY(w.form.Memo1->Text().contains(u"\r\n"_s) || !w.form.Memo1->Text().contains(u'\n'));
    QVERIFY(w.Go()); // sent only now, by the user
    QCOMPARE(QString::fromLatin1(xmlda::OperationName(w.Reply().operation)), next);
    QVERIFY2(!w.Reply().HasItemErrors() && w.Reply().problems.empty() && !w.Reply().fault,
             qPrintable(w.items->SummaryText() + w.items->ProblemsText()));
    if (rows == -1) {
      QCOMPARE(w.Model().rowCount(), selected);
    } else if (rows == -2) {
      QVERIFY(w.Model().rowCount() > selected);
    } else {
      QCOMPARE(w.Model().rowCount(), rows);
    }
  }

  // Browse into the branch of a thousand items, then Next page until the server has no more.
  void nextPageToTheEnd() {
    Window w;
    w.Choose(u"Browse"_s);
    w.form.Memo1->SetText(
        w.form.Memo1->Text().replace(u"ItemName=\"Static\""_s, u"ItemName=\"\""_s));
    QVERIFY(w.Go());
    QCOMPARE(w.Select(u"Paging"_s), 1);
    QTableView* table = w.items->Table();
    const QRect branch = table->visualRect(table->selectionModel()->selectedRows().front());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, branch.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, branch.center()); // browses into
    QVERIFY(w.form.Memo1->Text().contains(u"ItemName=\"Paging\""_s));
    std::set<QString> names;
    int pages = 0;
    for (;;) {
      QVERIFY(w.Go());
      QCOMPARE(w.errors.shown, QStringList());
      ++pages;
      for (int row = 0; row < w.Model().rowCount(); ++row) {
        names.insert(w.Cell(row, C::ItemName));
      }
      const xmlda::TReply& reply = w.Reply();
      if (!reply.continuationPoint) {
        QVERIFY(!reply.moreElements);
        QVERIFY(!w.items->Action(u"Next page"_s)->isEnabled());
        break;
      }
      QVERIFY(reply.moreElements);
      QVERIFY(pages < 20);
      QVERIFY(w.Trigger(u"Next page"_s));
      QVERIFY(w.form.Memo1->Text().contains(u"ItemName=\"Paging\""_s));
      QVERIFY(w.form.Memo1->Text().contains(
          u"ContinuationPoint=\""_s + QString::fromStdString(*reply.continuationPoint) + u'"'));
    }
    QCOMPARE(pages, 10);
    QCOMPARE(names.size(), std::size_t{1000});
    QVERIFY(names.count(u"Paging/Item0000"_s) && names.count(u"Paging/Item0999"_s));
  }

  // Subscribe, poll, cancel, and a poll after the cancel names the handle as invalid.
  void subscriptionToItsEnd() {
    Window w;
    w.Choose(u"Subscribe"_s);
    QVERIFY(w.Go());
    QVERIFY(w.Reply().serverSubHandle);
    const QString handle = QString::fromStdString(*w.Reply().serverSubHandle);
    QVERIFY(w.items->SummaryText().contains(handle));

    QVERIFY(w.Trigger(u"Poll subscription"_s));
    QCOMPARE(w.form.cXMLCommand->currentText(), u"SubscriptionPolledRefresh"_s);
    QVERIFY(
        w.form.Memo1->Text().contains(u"<ServerSubHandles>"_s + handle + u"</ServerSubHandles>"_s));
    QVERIFY(w.form.Memo1->Text().contains(u"HoldTime=\"#now+1#\""_s)); // the template's own
    QVERIFY(w.Go());
    QVERIFY(w.Reply().invalidServerSubHandles.empty());

    QVERIFY(w.Trigger(u"Cancel subscription"_s));
    QCOMPARE(w.form.cXMLCommand->currentText(), u"SubscriptionCancel"_s);
    QVERIFY(w.form.Memo1->Text().contains(u"ServerSubHandle=\""_s + handle + u'"'));
    QVERIFY(w.GoFromTable()); // sent once: a second cancel would be answered with a fault
    QCOMPARE(w.Reply().operation, xmlda::TOperation::SubscriptionCancel);

    QVERIFY(w.Trigger(u"Poll subscription"_s));
    QVERIFY(w.Go());
    QCOMPARE(w.Reply().invalidServerSubHandles, std::vector<std::string>{handle.toStdString()});
    QVERIFY(w.items->SummaryText().contains(u"invalid subscription handles: "_s + handle));
    QCOMPARE(w.errors.shown, QStringList());
  }

  void statusSummary() {
    Window w;
    QVERIFY(w.Go()); // GetStatus is chosen at start
    QStringList fields;
    for (int row = 0; row < w.Model().rowCount(); ++row) {
      fields << w.Cell(row, C::Field) + u": "_s + w.Cell(row, C::Value);
    }
    const QString all = fields.join(u'\n');
    QVERIFY2(all.contains(u"Server state: running"_s), qPrintable(all));
    for (const QString& field : {u"Vendor info: "_s, u"Product version: "_s,
                                 u"Interface versions: "_s, u"Start time: "_s}) {
      QVERIFY2(all.contains(field), qPrintable(all));
    }
    // The simulator's clock is this machine's: the difference is a matter of milliseconds.
    QVERIFY2(QRegularExpression(u"Reply time \u2212 local clock: (the same|0\\.\\d{3} s)"_s)
                 .match(all)
                 .hasMatch(),
             qPrintable(all));
  }

  // A failed action leaves the list and the editor as they were.
  void failedActionLosesNothing() {
    Window w;
    w.Choose(u"Browse"_s);
    QVERIFY(w.Go());
    QFile::remove(w.templates.Path() + u"Read.x"_s);
    w.form.Memo1->SetText(u"typed by the user"_s);
    QVERIFY(w.Select(u".*"_s) > 0);
    QVERIFY(w.Trigger(u"Read"_s));
    QCOMPARE(w.errors.shown.size(), 1);
    QVERIFY(w.errors.shown.front().contains(u"Read.x"_s));
    QCOMPARE(w.form.cXMLCommand->currentText(), u"Browse"_s);
    QCOMPARE(w.form.Memo1->Text(), u"typed by the user"_s);
  }

  // What a reply holds is shown in words and colour, sorts and copies; what could not be read is
  // named.
  void readReplyShown() {
    QTemporaryDir dir;
    const QString path = WriteFile(dir, u"reply.xml"_s, kReadReply);
    ErrorRecorder errors;
    TWebBrowser browser;
    browser.show();
    QSignalSpy ready(browser.ItemsView(), &TItemsView::Ready);
    browser.Navigate(path);
    QVERIFY(ready.wait(5000));
    TItemsView& view = *browser.ItemsView();
    const TItemsTableModel& model = *view.Model();
    QCOMPARE(model.rowCount(), 4);
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
      return model.index(row, column).data(role);
    };
    // Item name, Value, Type, Quality, Result, Timestamp, ...
    QCOMPARE(cell(0, 3).toString(), u"uncertain \u2013 last usable, limit low"_s);
    QCOMPARE(cell(0, 3, Qt::ForegroundRole).value<QColor>(),
             QualityColour(xmlda::TQualityClass::Uncertain));
    QCOMPARE(cell(1, 3).toString(), u"bad \u2013 comm failure"_s);
    QCOMPARE(cell(1, 3, Qt::ForegroundRole).value<QColor>(), ErrorColour());
    QCOMPARE(cell(2, 4).toString(),
             u"E_UNKNOWNITEMNAME \u2013 The item name is not known to the server."_s);
    QCOMPARE(cell(2, 0, Qt::ForegroundRole).value<QColor>(), ErrorColour());
    QVERIFY(view.SummaryText().contains(u"1 error"_s));
    QVERIFY2(view.ProblemsText().contains(u"x7"_s), qPrintable(view.ProblemsText()));

    // 9 before 10: sorted as numbers; what is no number after them, by its text.
    view.Table()->sortByColumn(1, Qt::AscendingOrder);
    QStringList order;
    for (int row = 0; row < model.rowCount(); ++row) {
      order << model.index(row, 0).data().toString();
    }
    QCOMPARE(order, (QStringList{u"b"_s, u"a"_s, u"c"_s, u"d"_s}));

    view.Table()->setFocus();
    view.Table()->selectionModel()->select(view.Table()->model()->index(1, 0),
                                           QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
    QTest::keyClick(view.Table(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(
        QGuiApplication::clipboard()->text(),
        u"Item name\tValue\tType\tQuality\tResult\tTimestamp\tItem path\tClient handle\t"
        u"Diagnostic info\na\t10\txsd:int\tuncertain \u2013 last usable, limit low\t\t\t\t1\t\n"_s);
    QCOMPARE(errors.shown, QStringList());
  }

  // A reply that is not one of the operations' stays on the XML view and says so.
  void otherReplyStaysOnXml() {
    QTemporaryDir dir;
    const QString path = WriteFile(dir, u"reply.xml"_s, "<hello/>");
    TWebBrowser browser;
    QSignalSpy ready(browser.ItemsView(), &TItemsView::Ready);
    browser.Navigate(path);
    QVERIFY(ready.wait(5000));
    QCOMPARE(ready.front().front().toBool(), false);
    QCOMPARE(browser.findChild<QTabBar*>()->currentIndex(), 0);
    QVERIFY(browser.ItemsView()->SummaryText().startsWith(u"Not an OPC XML-DA reply"_s));
  }

  // A reply of 100,000 items is a table of 100,000 rows that sorts and selects whole.
  void hundredThousandRows() {
    QByteArray body = QByteArray(kBigReadHead);
    for (int i = 0; i < 100000; ++i) {
      body += "<Items ItemName=\"I" + QByteArray::number(i) + "\"><Value xsi:type=\"xsd:int\">" +
              QByteArray::number(100000 - i) + "</Value></Items>\n";
    }
    body += "</RItemList></ReadResponse></soap:Body></soap:Envelope>";
    QTemporaryDir dir;
    TWebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QSignalSpy ready(browser.ItemsView(), &TItemsView::Ready);
    browser.Navigate(WriteFile(dir, u"big.xml"_s, body));
    QVERIFY(ready.wait(60000));
    QTableView* table = browser.ItemsView()->Table();
    QCOMPARE(table->model()->rowCount(), 100000);
    table->sortByColumn(1, Qt::AscendingOrder);
    QCOMPARE(table->model()->index(0, 0).data().toString(), u"I99999"_s);
    table->selectAll();
    QCOMPARE(browser.ItemsView()->SelectedRowsText().count(u'\n'), 100001);
  }
};

static Register<ItemsViewTest> registered;

} // namespace opc::test

#include "ItemsViewTest.moc"
