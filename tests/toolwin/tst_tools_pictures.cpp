// Every tool window of this build opens by its design name and shows each of
// its samples; with NOMIX_TOOL_PICTURES set to a directory, each sample is
// also saved there as <formName>[-<i>]-<light|dark>.png (run it again with
// QT_SCALE_FACTOR=2 for the large pictures).
#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

#include "designwindow.h"
#include "tools_fixture.h"

using nomix::gui::DesignWindow;

class TestPictures : public QObject {
    Q_OBJECT
    toolstest::ToolApplication env;

private slots:
    void everyWindowShowsItsSamples() {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        const QString out = QString::fromLocal8Bit(qgetenv("NOMIX_TOOL_PICTURES"));
        const QString scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? "-200" : "-100";
        for (const QString palette : {"light", "dark"}) {
            QApplication::setPalette(palette == "dark" ? nomix::gui::darkPalette() : QApplication::style()->standardPalette());
            for (const char *name : {"frmSumTable", "frmConvert", "frmConvertTable", "frmAdder", "frmModule"}) {
                std::unique_ptr<DesignWindow> w(nomix::gui::createToolWindow(name));
                QVERIFY2(w, name);
                QCOMPARE(w->formName(), QString(name));
                for (int i = 0; i < w->sampleCount(); ++i) {
                    w->showSample(i);
                    w->show();
                    QApplication::processEvents();
                    const QImage image = w->grab().toImage();
                    QVERIFY(!image.isNull());
                    if (out.isEmpty()) continue;
                    const QString suffix = w->sampleCount() > 1 ? QStringLiteral("-%1").arg(i) : QString();
                    image.save(out + "/" + name + suffix + "-" + palette + scale + ".png");
                }
                // The printed page (and Special Copy) of the last sample.
                QImage page(850, 1100, QImage::Format_RGB32);
                page.fill(Qt::white);
                const QImage blank = page.copy();
                {
                    QPainter painter(&page);
                    painter.setPen(Qt::black);
                    w->printPage(painter, page.rect().adjusted(60, 60, -60, -60));
                }
                QVERIFY2(page != blank, name);
                if (!out.isEmpty() && palette == "light") page.save(out + "/" + name + "-print" + scale + ".png");
            }
        }
        QVERIFY2(env.host.boxes.empty(), env.host.boxes.empty() ? "" : env.host.boxes.front().c_str());
    }
};

QTEST_MAIN(TestPictures)
#include "tst_tools_pictures.moc"
