#include "frmPlaceholder.h"

#include <QLabel>
#include <QVBoxLayout>

namespace nomix::gui {

QString frmPlaceholder::toolTitle(const QString &formName) {
    static const QHash<QString, QString> titles = {
        {QStringLiteral("frmGraph"), QStringLiteral("Graph")},
        {QStringLiteral("frmPlot"), QStringLiteral("Plot Set-up")},
        {QStringLiteral("frmGraphOptions"), QStringLiteral("Graph Options")},
        {QStringLiteral("frmSumTable"), QStringLiteral("Summation Table")},
        {QStringLiteral("frmConvert"), QStringLiteral("Unit Converter")},
        {QStringLiteral("frmConvertTable"), QStringLiteral("Conversion Table")},
        {QStringLiteral("frmAdder"), QStringLiteral("Adder")},
        {QStringLiteral("frmModule"), QStringLiteral("User Solution Modules")},
    };
    return titles.value(formName, formName);
}

frmPlaceholder::frmPlaceholder(const QString &formName, QWidget *parent) : DesignWindow(parent), form_(formName) {
    setObjectName(formName);
    setWindowTitle(toolTitle(formName));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("<p><b>%1</b></p><p>The %1 window comes with a later version of "
                                            "Nomix.</p>").arg(toolTitle(formName).toHtmlEscaped()),
                             this);
    label->setObjectName(QStringLiteral("lblComing"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    resize(twipsToPixels(5000, this), twipsToPixels(2000, this));
}

} // namespace nomix::gui
