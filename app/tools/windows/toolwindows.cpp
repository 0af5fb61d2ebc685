// The tool windows this build has, by design name. Each tool adds its line here.
#include "designwindow.h"
#include "frmGraph.h"
#include "frmGraphOptions.h"
#include "frmPlot.h"

#include "frmAdder.h"
#include "frmConvert.h"
#include "frmConvertTable.h"
#include "frmModule.h"
#include "frmSumTable.h"

namespace nomix::gui {

DesignWindow *createToolWindow(const QString &formName, QWidget *parent) {
    if (formName == QLatin1String("frmAdder")) return new frmAdder(parent);
    if (formName == QLatin1String("frmSumTable")) return new frmSumTable(parent);
    if (formName == QLatin1String("frmConvert")) return new frmConvert(parent);
    if (formName == QLatin1String("frmConvertTable")) return new frmConvertTable(parent);
    if (formName == QLatin1String("frmModule")) return new frmModule(parent);
    if (formName == QLatin1String("frmGraph")) return new frmGraph(parent);
    if (formName == QLatin1String("frmPlot")) return new frmPlot(parent);
    if (formName == QLatin1String("frmGraphOptions")) return new frmGraphOptions(parent);
    return nullptr;
}

} // namespace nomix::gui
