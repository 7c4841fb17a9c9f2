// Attendance record collection: every record of a terminal into a text file.
#include <memory>

#include "link/connect/collected_lines.h"
#include "link/connect/collection_steps.h"
#include "link/protocol/units.h"
#include "tallygate/record_line.h"

namespace tallygate {
namespace {

// The puts and page calls GatherData makes on its progress object: Max (the
// count + 1), Min and Value (0) before the first page, Value with the
// position of each record as it arrives, and Page for each attempt at a
// page and each page done.
CollectionProgress ProgressOf(ProgressObject& progress) {
  struct Pages {
    int32_t total = 0;
    int32_t lost = 0;  // pages done that lack records
  };
  auto pages = std::make_shared<Pages>();
  CollectionProgress reports;
  reports.started = [&progress, pages](int32_t count) {
    pages->total = (count + kUnitsPerPage - 1) / kUnitsPerPage;
    progress.PutProperty("Max", count + 1);
    progress.PutProperty("Min", 0);
    progress.PutProperty("Value", 0);
  };
  reports.stored = [&progress](int32_t position) { progress.PutProperty("Value", position); };
  reports.on_page = [&progress, pages](const PageReport& page, bool done) {
    if (done && !page.missed.empty()) ++pages->lost;
    progress.Page(page.page, pages->total, page.attempts, pages->lost, done);
  };
  return reports;
}

}  // namespace

bool Connect_v70::GatherData(int16_t varAddr, const std::string& VarFilePath,
                             const std::string& VarFileName, std::string& VarDescription,
                             int32_t& BackRecordSum, int32_t SleepDate, int32_t phStrCardFlg,
                             bool IsFullYear, ProgressObject* objProBar) {
  return RunCollection(*state_, VarFilePath, VarDescription, BackRecordSum, [&] {
    const std::string century = CurrentCentury();
    // The collected file keeps every unit that came at its place in the
    // stream, as it always has; the terminal API keeps only certain ones
    // (page_fetch.cpp).
    PagePlan plan = RecordPagePlan(static_cast<float>(SleepDate), false);
    plan.retry_missing_only = false;
    auto line = [&](std::span<const uint8_t> unit) {
      return RecordLine(varAddr, unit, phStrCardFlg != 0, IsFullYear, century);
    };
    return CollectToFile(*state_, varAddr, command::kRecordPages,
                         CollectionFile(VarFilePath, VarFileName), plan, line,
                         objProBar != nullptr ? ProgressOf(*objProBar) : CollectionProgress{},
                         VarDescription, BackRecordSum);
  });
}

}  // namespace tallygate
