// The six looks of the program (style sheets) and the skin chooser. The large tool-bar
// buttons always wear a seventh look of their own that cannot be chosen.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;

struct TSkin {
  const char *Name;      // shown in the chooser
  const char *FileName;  // the name the skin is known by in settings and logs
};

inline constexpr int kSkinCountUi = 6;
[[nodiscard]] const TSkin &SkinAt(int AIndex);
// The style sheet of skin 0..5 (an index out of range gives skin 0).
[[nodiscard]] QString SkinStyleSheet(int AIndex);
// The fixed look of the large tool-bar buttons.
[[nodiscard]] QString ToolBarStyleSheet();

class TSkinChooser : public QDialog {
  Q_OBJECT
 public:
  explicit TSkinChooser(QWidget *AParent = nullptr);
  void SetSkinIndex(int AIndex);
  [[nodiscard]] int SkinIndex() const;

 private:
  QListWidget *FList = nullptr;
};
