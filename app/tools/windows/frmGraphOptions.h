// The graph options window "Graph Options": title, axis labels, home view,
// polar and parametric range, the parameter's name, precision, default graph
// type, grid, numbered axes and connected points. Ok checks the precision and
// stores everything in the settings; Cancel stores nothing.
#pragma once

#include "designwindow.h"
#include "tools/plotlist.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace nomix::gui {

class frmGraphOptions : public DesignWindow {
    Q_OBJECT
public:
    explicit frmGraphOptions(QWidget *parent = nullptr);
    ~frmGraphOptions() override;
    static frmGraphOptions *current();

    QString formName() const override { return QStringLiteral("frmGraphOptions"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Graph List"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("GraphOptions.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;

    // Fills every field from the settings.
    void showSettings();
    GraphOptionsFields fields() const;
    void setFields(const GraphOptionsFields &fields);

    void btnOk_Click();
    void btnCancel_Click();

private:
    void closeWindow();

    QLineEdit *txtGraphTitle_, *txtXLabel_, *txtYLabel_, *txtXmin_, *txtXmax_, *txtYmin_, *txtYmax_,
        *txtTMin_, *txtTMax_, *txtTheta_, *txtPrecision_;
    QComboBox *cmbGraphType_;
    QCheckBox *chkGrid_, *chkNumbered_, *chkConnect_;
    QPushButton *btnOk_, *btnCancel_;
};

} // namespace nomix::gui
