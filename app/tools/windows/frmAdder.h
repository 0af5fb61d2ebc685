// The adder tape window: a grid of entries (value, comment), the edit fields
// of the current entry and the total in the "Adder Format". The tape itself is
// nomix::AdderTape; the window shows it and forwards the user's edits.
#pragma once

#include <optional>

#include "designwindow.h"
#include "tools/adder.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace nomix::gui {

class frmAdder : public DesignWindow {
    Q_OBJECT
public:
    explicit frmAdder(QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmAdder"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Adder"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("Adder.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    void showSample(int index) override;

    const AdderTape &tape() const { return tape_; }
    // Recalc: the total as shown (the old one stays when an entry fails).
    QString Recalc();

    void btnAdd_Click();
    void btnRecalc_Click();
    void btnClear_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using TapeStep = AdderTotal (AdderTape::*)(const AdderEvaluator &, const AdderFormatter &);
    std::optional<AdderTotal> runTape(TapeStep step);
    void grdAdder_Click(int row);
    void showTape();
    void showCurrentInFields();
    void applyTotal(const AdderTotal &total);

    AdderTape tape_;
    QTableWidget *grdAdder = nullptr;
    QLineEdit *txtValue = nullptr;
    QLineEdit *txtComment = nullptr;
    QLabel *lblTotal = nullptr;
    QPushButton *btnAdd = nullptr;
    QPushButton *btnRecalc = nullptr;
    QPushButton *btnClear = nullptr;
    bool filling_ = false;  // the window itself fills the fields: no copying into the tape
};

} // namespace nomix::gui
