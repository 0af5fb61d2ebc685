// The tool windows this build has, by design name. Each tool adds its line here.
#include "designwindow.h"
#include "frmGraph.h"
#include "frmGraphOptions.h"
#include "frmPlot.h"

namespace nomix::gui {

DesignWindow *createToolWindow(const QString &formName, QWidget *parent) {
    if (formName == QLatin1String("frmGraph")) return new frmGraph(parent);
    if (formName == QLatin1String("frmPlot")) return new frmPlot(parent);
    if (formName == QLatin1String("frmGraphOptions")) return new frmGraphOptions(parent);
    return nullptr;
}

} // namespace nomix::gui
