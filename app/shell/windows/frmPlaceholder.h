// The window shown for a tool that this build does not have yet: it says
// which tool is coming, under the tool's own design name.
#pragma once

#include "designwindow.h"

namespace nomix::gui {

class frmPlaceholder : public DesignWindow {
    Q_OBJECT
public:
    frmPlaceholder(const QString &formName, QWidget *parent = nullptr);
    QString formName() const override { return form_; }
    // The tool's name as the user knows it ("Unit Converter").
    static QString toolTitle(const QString &formName);

private:
    QString form_;
};

} // namespace nomix::gui
