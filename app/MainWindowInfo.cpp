// The media information dialog's side of the main window: gather what the probe knows
// about the selected row's source and show it.
#include <filesystem>

#include "JobListView.h"
#include "MainWindow.h"
#include "MediaInfoDialog.h"

void TForm1::suiButton12Click() {
  const int row = AdvListView1->SelectedRow();
  if (AdvListView1->rowCount() == 0 || row < 0) return;
  const std::string source = AdvListView1->Cell(row, TAdvListView::colSource).toStdString();
  std::error_code ec;
  if (source.empty() || !std::filesystem::exists(source, ec)) return;

  // A listed row means the libraries were loaded when it was added; load them here all
  // the same so the probe never meets unloaded libraries.
  if (!FFmpegQueue1.AVLibLoaded() && !FFmpegQueue1.LoadAVLib(DefaultLibraryPath())) {
    AddLog(QString::fromStdString(FFmpegQueue1.LastErrMsg()));
    return;
  }
  // The queue's probe, which keeps the file loaded until the next one.
  TAVProbe *probe = ProbeAs<TAVProbe>(FFmpegQueue1.AVProbe());
  if (probe == nullptr) return;
  InfoFields = GatherMediaInfo(*probe, source);
  if (Form9) Form9->exec();
}
