// TForm4, the About box.
#pragma once

#include <QDialog>

class IPlatform;

// The product's pages, opened from the Help menu and the About box.
inline constexpr char kProductHelpUrl[] = "https://quorvel.org/help/";
inline constexpr char kProductWebSite[] = "https://quorvel.org/";
inline constexpr char kProductSupportMail[] = "support@quorvel.org";
inline constexpr char kProductVersion[] = "Ver:10.9.5.0";

class TForm4 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm4(IPlatform &APlatform, QWidget *AParent = nullptr);

 private:
  IPlatform &FPlatform;
};
