// The solver modules window: a module's fields as a form, one of them the
// unknown, solved with the calculator's solver; and the edit mode that defines
// a module from its formula. The module list is "nomix.usm"; the solving
// lives in nomix::ModuleSession.
#pragma once

#include <QList>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "designwindow.h"
#include "tools/moduleform.h"

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;

namespace nomix::gui {

class frmModule : public DesignWindow {
    Q_OBJECT
public:
    explicit frmModule(QWidget *parent = nullptr);
    ~frmModule() override;

    QString formName() const override { return QStringLiteral("frmModule"); }
    QString openFilter() const override;
    bool openFile(const QString &path) override;
    bool saveFile(const QString &path, const QString &chosenFilter) override;
    QString printCaption() const override { return QStringLiteral("Print Current Module"); }
    void printPage(QPainter &painter, const QRect &page) override;
    QString helpTopic() const override { return QStringLiteral("Modules.htm"); }
    QStringList sessionRecords() override;
    void restoreSession(RecordReader &records) override;
    QWidget *scriptControl(const QString &name, int index) override;
    int sampleCount() const override { return 2; }
    void showSample(int index) override;

    const std::vector<Module> &modules() const { return modules_; }
    bool editing() const { return editing_; }
    // Selects a module by name; false when there is none.
    bool selectModule(const QString &name);

    void btnSolve_Click();
    void btnEdit_Click();
    void btnCancel_Click();
    void btnOK_Click();
    void btnDelete_Click();
    void optUnknown_Click(int index);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct RunRow {
        QRadioButton *optUnknown;
        QLineEdit *txtNumber;
    };
    struct EditRow {
        QLineEdit *txtCaption;
        QComboBox *cmbFormat;
        QLineEdit *txtConstraints;
        QLineEdit *txtDetails;
    };
    void cmbModules_Click();
    void fillModuleList();
    void showModule();
    void startEdit(Module module, bool isNew);
    void showEditRows();
    Module editedModule() const;
    bool saveEdit();
    void endEdit();
    void txtNumber_LostFocus(int index);
    void showDetails(int field);
    std::optional<std::vector<std::string>> fieldsOf(const std::string &formula, std::string &problem, bool &open);
    QWidget *newFieldArea();
    void detachFieldRows();
    bool writeModules();
    const Module *current() const;

    std::vector<Module> modules_;
    int current_ = -1;
    std::unique_ptr<ModuleSession> session_;
    int unknown_ = -1;
    QString unknownText_;  // what the unknown field held before it became the unknown
    bool editing_ = false;
    bool editingNew_ = false;
    Module edit_;
    bool filling_ = false;
    bool checking_ = false;

    QLabel *moduleLabel = nullptr;
    QComboBox *cmbModules = nullptr;
    QLineEdit *txtName = nullptr;
    QLineEdit *txtFormula = nullptr;
    QLabel *lblDescription = nullptr;
    QLineEdit *txtDescription = nullptr;
    QScrollArea *fieldScroll_ = nullptr;
    QGridLayout *fieldLayout_ = nullptr;
    QButtonGroup *unknownGroup_ = nullptr;
    QList<RunRow> runRows_;
    QList<EditRow> editRows_;
    QLabel *lblDetails = nullptr;
    QPushButton *btnEdit = nullptr;
    QPushButton *btnSolve = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnDelete = nullptr;
};

} // namespace nomix::gui
