// The About box, laid out like its Windows template.
#ifndef SONVALE_UI_QT_QT_ABOUT_BOX_H
#define SONVALE_UI_QT_QT_ABOUT_BOX_H

#include <QDialog>

namespace sonvale::qt {

class QtAboutBox final : public QDialog {
public:
    explicit QtAboutBox(QWidget* parent);
};

}  // namespace sonvale::qt

#endif
