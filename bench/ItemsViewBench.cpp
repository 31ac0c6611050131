// The Items view with replies of many items: reading the reply model, showing it, sorting and
// copying. "--smoke" runs each once with a small reply, so that CI keeps them working.
#include "viewer/ItemsTableModel.h"
#include "viewer/TItemsView.h"
#include "xmlda/ReplyReader.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTableView>
#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <string>

namespace {

bool gSmoke = false;

std::string ReadReplyOf(long items) {
  std::string body =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>"
      "<ReadResponse xmlns=\"http://opcfoundation.org/webservices/XMLDA/1.0/\">"
      "<ReadResult RcvTime=\"2026-01-01T00:00:00Z\" ReplyTime=\"2026-01-01T00:00:00Z\" "
      "ServerState=\"running\"/><RItemList>";
  for (long i = 0; i < items; ++i) {
    body += "<Items ItemName=\"Plant/Area" + std::to_string(i % 97) + "/Tag" + std::to_string(i) +
            "\" ClientItemHandle=\"" + std::to_string(i) +
            "\" Timestamp=\"2026-01-01T00:00:00.1234567Z\"><Value xsi:type=\"xsd:double\">" +
            std::to_string((i * 7919) % 100003) +
            ".5</Value><Quality QualityField=\"uncertainLastUsableValue\" LimitField=\"low\"/>"
            "</Items>\n";
  }
  return body + "</RItemList></ReadResponse></soap:Body></soap:Envelope>";
}

long Rows(const benchmark::State& state) {
  return gSmoke ? 100 : state.range(0);
}

void ReadModel(benchmark::State& state) {
  const std::string reply = ReadReplyOf(Rows(state));
  for (auto _ : state) {
    benchmark::DoNotOptimize(opc::xmlda::ReadReply(reply));
  }
  state.counters["MiB"] = static_cast<double>(reply.size()) / (1 << 20);
}

// From the reply's bytes to the table on screen: read off the UI thread, then shown.
bool ShowIn(opc::TItemsView& view, const std::shared_ptr<const std::string>& reply) {
  QSignalSpy ready(&view, &opc::TItemsView::Ready);
  view.ShowReply(reply, *reply, {});
  return ready.wait(120000);
}

void Show(benchmark::State& state) {
  const auto reply = std::make_shared<const std::string>(ReadReplyOf(Rows(state)));
  opc::TItemsView view;
  view.resize(800, 600);
  view.show();
  for (auto _ : state) {
    if (!ShowIn(view, reply)) {
      state.SkipWithError("the view did not show the reply");
    }
    QApplication::processEvents(); // painted
  }
}

void SortByValue(benchmark::State& state) {
  const auto reply = std::make_shared<const std::string>(ReadReplyOf(Rows(state)));
  opc::TItemsView view;
  view.show();
  ShowIn(view, reply);
  Qt::SortOrder order = Qt::AscendingOrder;
  for (auto _ : state) {
    view.Table()->sortByColumn(1, order);
    order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    QApplication::processEvents();
  }
}

void CopyAllRows(benchmark::State& state) {
  const auto reply = std::make_shared<const std::string>(ReadReplyOf(Rows(state)));
  opc::TItemsView view;
  view.show();
  ShowIn(view, reply);
  view.Table()->selectAll();
  for (auto _ : state) {
    benchmark::DoNotOptimize(view.SelectedRowsText());
  }
}

void Add(const char* name, void (*function)(benchmark::State&)) {
  auto* b = benchmark::RegisterBenchmark(name, function)
                ->Arg(100000)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
  if (gSmoke) {
    b->Iterations(1);
  }
}

} // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--smoke") == 0) {
      gSmoke = true;
      std::memmove(argv + i, argv + i + 1, sizeof(char*) * static_cast<std::size_t>(argc - i));
      --argc;
      break;
    }
  }
  QApplication application(argc, argv);
  Add("items/read-model", ReadModel);
  Add("items/show", Show);
  Add("items/sort-by-value", SortByValue);
  Add("items/copy-all-rows", CopyAllRows);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
