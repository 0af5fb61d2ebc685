// Pictures of the graph windows for looking at: every sample of frmGraph (one
// curve of each kind), frmPlot and frmGraphOptions, in a light and a dark
// palette, written to $NOMIX_PICTURES_DIR as <form>[-<i>]-<light|dark>-<scale>.png.
// Without that variable there is nothing to do. Run once with QT_SCALE_FACTOR=2
// for the 200 % pictures.
#include "box_host.h"
#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include "designwindow.h"
#include "frmGraph.h"
#include "frmPlot.h"
#include <QCheckBox>
#include <QPainter>
#include "shell/bootstrap.h"

using namespace nomix;
using namespace nomix::gui;

class GraphPictures : public QObject {
    Q_OBJECT
    nomix::testing::BoxHost host_;
    std::unique_ptr<Application> app_;

    void render(const QString &form, int sample, const QString &variant) {
        // As the screenshot tool does: a window of its own, then its sample.
        std::unique_ptr<DesignWindow> w(createToolWindow(form));
        QVERIFY(w);
        w->show();
        w->showSample(sample);
        QTest::qWait(30);
        QString name = QDir(qEnvironmentVariable("NOMIX_PICTURES_DIR")).filePath(form);
        if (w->sampleCount() > 1) name += QLatin1Char('-') + QString::number(sample);
        const int scale = qRound(qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble() * 100);
        name += QLatin1Char('-') + variant + QLatin1Char('-') + QString::number(scale) + QStringLiteral(".png");
        QVERIFY(w->grab().save(name));
    }

private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("NOMIX_PICTURES_DIR")) QSKIP("NOMIX_PICTURES_DIR is not set");
        QDir().mkpath(qEnvironmentVariable("NOMIX_PICTURES_DIR"));
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        app_ = std::make_unique<Application>(host_);
        DefineApplicationLanguage(binding());
        binding().DefineVar("pi = 3.14159265358979");
    }
    void pictures() {
        const QPalette light = QApplication::style()->standardPalette();
        for (const auto &[variant, palette] : {std::pair{QStringLiteral("light"), light},
                                               std::pair{QStringLiteral("dark"), nomix::gui::darkPalette()}}) {
            QApplication::setPalette(palette);
            for (int i = 0; i < 5; ++i) render(QStringLiteral("frmGraph"), i, variant);
            render(QStringLiteral("frmPlot"), 0, variant);
            render(QStringLiteral("frmGraphOptions"), 0, variant);
        }
    }
    // The printed page: equation lines, the y label down the edge, the graph,
    // the title and the x label (A4 at 100 dpi, drawn as on paper).
    void printedPage() {
        Settings &s = app_->settings();
        s.title = "Waves and parabolas";
        s.xLabel = "time (s)";
        s.yLabel = "height";
        auto *graph = qobject_cast<frmGraph *>(openDesignWindow(QStringLiteral("frmGraph")));
        QVERIFY(graph);
        graph->showSample(0);
        frmPlot *plot = frmPlot::current();
        QVERIFY(plot);
        QImage page(827, 1169, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        graph->drawPage(painter, QRect(40, 40, 747, 1089), true);
        painter.end();
        const QString dir = qEnvironmentVariable("NOMIX_PICTURES_DIR");
        QVERIFY(page.save(QDir(dir).filePath(QStringLiteral("frmGraph-printed.png"))));
        QVERIFY(graph->grab().save(QDir(dir).filePath(QStringLiteral("frmGraph-titled.png"))));
        plot->showSample(0);
        plot->findChild<QCheckBox *>(QStringLiteral("chkShow1"))->setChecked(false);
        plot->btnHideDetails_Click();
        QVERIFY(plot->grab().save(QDir(dir).filePath(QStringLiteral("frmPlot-hidden.png"))));
    }
    void cleanupTestCase() {
        for (QWidget *w : QApplication::topLevelWidgets()) w->close();
        app_.reset();
    }
};

QTEST_MAIN(GraphPictures)
#include "tst_graph_pictures.moc"
