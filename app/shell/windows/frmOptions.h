// The options window ("Miscellaneous Options"): the recall limits, the answer
// variable's name, the solver's defaults, the converter's category and the two
// number formats. It edits copies and writes them to the settings on Apply
// (or OK); Cancel leaves every setting as it was.
#pragma once

#include <array>

#include "designwindow.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace nomix::gui {

class MDInomix;

class frmOptions : public DesignWindow {
    Q_OBJECT
public:
    explicit frmOptions(MDInomix *frame, QWidget *parent = nullptr);

    QString formName() const override { return QStringLiteral("frmOptions"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("&Print Options"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("Options.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;

    // Every control shows its setting's current value.
    void loadControls();

    void btnApply_Click();
    void btnOK_Click();
    void btnCancel_Click();

private:
    QList<QWidget *> controlsInOrder() const;

    MDInomix *frame_;
    QLineEdit *txtInputRecall = nullptr;
    QLineEdit *txtOutputRecall = nullptr;
    QLineEdit *txtLast = nullptr;
    QLineEdit *txtVar = nullptr;
    QLineEdit *txtFrom = nullptr;
    QLineEdit *txtTo = nullptr;
    QComboBox *cmbUnitCategory = nullptr;
    std::array<QComboBox *, 2> cmbFormat{};
    QPushButton *btnApply = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;
};

// The categories of a conversion file: the text between "[" and "]" of every
// line that starts with "["; an unreadable or missing file gives none.
QStringList unitCategories(const QString &path);

} // namespace nomix::gui
