// SPDX-License-Identifier: LGPL-2.1-or-later
#include "VelaTestSupport.h"

#include "GlobalApplicationData.h"

#include <QLineF>

#include <cmath>

namespace {

// An end point, seen from start, at the given angle as QLineF measures it
// (counter-clockwise on screen, y downwards). Polar coordinates miss the
// angle by an ulp now and then; for a boundary angle, which has to be hit
// exactly, the neighbouring points are tried.
bool pointAtAngle(const QPointF &start, qreal degrees, bool exact, QPointF *end)
{
    const QPointF guess = QLineF::fromPolar(100, degrees).p2() + start;
    if (!exact) {
        *end = guess;
        return true;
    }
    const qreal target = degrees < 0 ? degrees + 360 : degrees;
    QPointF above = guess;
    QPointF below = guess;
    for (int step = 0; step < 4096; ++step) {
        for (const QPointF &candidate : {above, below}) {
            if (QLineF(start, candidate).angle() == target) {
                *end = candidate;
                return true;
            }
        }
        above.setY(std::nextafter(above.y(), HUGE_VAL));
        below.setY(std::nextafter(below.y(), -HUGE_VAL));
    }
    return false;
}

} // namespace

class TestStrokeGeometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void directionOfPoints_data();
    void directionOfPoints();
    void directionAtAngle_data();
    void directionAtAngle();
    void projection_data();
    void projection();
    void zeroDirectionIsLogged();
    void fixedValues();
};

void TestStrokeGeometry::initTestCase()
{
    GlobalApplicationData::InitInstance();
    QVERIFY(GlobalApplicationData::Instance());
}

void TestStrokeGeometry::cleanupTestCase()
{
    GlobalApplicationData::ReleaseInstance();
}

void TestStrokeGeometry::directionOfPoints_data()
{
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<QPointF>("end");
    QTest::addColumn<QPointF>("direction");

    const QPointF origin(0, 0);
    QTest::newRow("up and right") << origin << QPointF(10, -10) << QPointF(1, -1);
    QTest::newRow("down and right") << origin << QPointF(10, 10) << QPointF(1, 1);
    QTest::newRow("up") << origin << QPointF(0, -5) << QPointF(0, -1);
    QTest::newRow("down") << origin << QPointF(0, 5) << QPointF(0, 1);
    QTest::newRow("left") << origin << QPointF(-10, 0) << QPointF(-1, 0);
    QTest::newRow("right") << origin << QPointF(10, 0) << QPointF(1, 0);
    QTest::newRow("up and left") << origin << QPointF(-10, -10) << QPointF(-1, -1);
    QTest::newRow("down and left") << origin << QPointF(-10, 10) << QPointF(-1, 1);
    QTest::newRow("no length") << QPointF(7, 3) << QPointF(7, 3) << QPointF(1, 0);
    QTest::newRow("away from origin") << QPointF(100, 200) << QPointF(90, 205) << QPointF(-1, 0);
}

void TestStrokeGeometry::directionOfPoints()
{
    QFETCH(QPointF, start);
    QFETCH(QPointF, end);
    QFETCH(QPointF, direction);
    QCOMPARE(GlobalApplicationData::GetLineDirectionForShiftModifier(start, end), direction);
}

void TestStrokeGeometry::directionAtAngle_data()
{
    QTest::addColumn<qreal>("angle");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QPointF>("direction");

    const QPointF right(1, 0), upRight(1, -1), up(0, -1), upLeft(-1, -1), left(-1, 0);
    const QPointF downRight(1, 1), down(0, 1), downLeft(-1, 1);
    const qreal nudge = 0.001;

    // Each boundary belongs to the sector farther from the x axis.
    const struct
    {
        qreal angle;
        QPointF inner;
        QPointF outer;
    } boundaries[] = {
        {22.5, right, upRight},   {67.5, upRight, up},       {112.5, up, upLeft},
        {147.5, upLeft, left},    {-22.5, right, downRight}, {-67.5, downRight, down},
        {-112.5, down, downLeft}, {-147.5, downLeft, left},
    };
    for (const auto &boundary : boundaries) {
        const qreal outwards = boundary.angle > 0 ? nudge : -nudge;
        QTest::addRow("%g", boundary.angle) << boundary.angle << true << boundary.outer;
        QTest::addRow("%g inside", boundary.angle)
            << boundary.angle - outwards << false << boundary.inner;
        QTest::addRow("%g beyond", boundary.angle)
            << boundary.angle + outwards << false << boundary.outer;
    }
    QTest::newRow("0") << qreal(0) << true << right;
    QTest::newRow("90") << qreal(90) << true << up;
    QTest::newRow("-90") << qreal(-90) << true << down;
    QTest::newRow("180") << qreal(180) << true << left;
    QTest::newRow("-179.9") << qreal(-179.9) << false << left;
    // The left-pointing diagonals are narrower than the others.
    QTest::newRow("140") << qreal(140) << false << upLeft;
    QTest::newRow("150") << qreal(150) << false << left;
    QTest::newRow("-150") << qreal(-150) << false << left;
    QTest::newRow("-140") << qreal(-140) << false << downLeft;
}

void TestStrokeGeometry::directionAtAngle()
{
    QFETCH(qreal, angle);
    QFETCH(bool, exact);
    QFETCH(QPointF, direction);

    for (const QPointF &start : {QPointF(0, 0), QPointF(-31.25, 12.5)}) {
        QPointF end;
        QVERIFY2(pointAtAngle(start, angle, exact, &end), "no point at exactly this angle");
        QCOMPARE(GlobalApplicationData::GetLineDirectionForShiftModifier(start, end), direction);
    }
}

void TestStrokeGeometry::projection_data()
{
    QTest::addColumn<QPointF>("point");
    QTest::addColumn<QPointF>("direction");
    QTest::addColumn<QPointF>("linePoint");
    QTest::addColumn<QPointF>("projected");

    QTest::newRow("on x axis") << QPointF(3, 4) << QPointF(1, 0) << QPointF(0, 0) << QPointF(3, 0);
    QTest::newRow("unnormalised") << QPointF(3, 4) << QPointF(2, 0) << QPointF(0, 0)
                                  << QPointF(3, 0);
    QTest::newRow("diagonal") << QPointF(3, 4) << QPointF(1, 1) << QPointF(0, 0)
                              << QPointF(3.5, 3.5);
    QTest::newRow("vertical, shifted")
        << QPointF(5, 5) << QPointF(0, -2) << QPointF(1, 1) << QPointF(1, 5);
    QTest::newRow("behind the line point")
        << QPointF(-4, 0) << QPointF(1, -1) << QPointF(2, 2) << QPointF(0, 4);
    QTest::newRow("on the line") << QPointF(6, 6) << QPointF(1, 1) << QPointF(2, 2)
                                 << QPointF(6, 6);
}

void TestStrokeGeometry::projection()
{
    QFETCH(QPointF, point);
    QFETCH(QPointF, direction);
    QFETCH(QPointF, linePoint);
    QFETCH(QPointF, projected);
    QCOMPARE(GlobalApplicationData::ProjectOnLine(point, direction, linePoint), projected);
}

void TestStrokeGeometry::zeroDirectionIsLogged()
{
    GlobalApplicationData *data = GlobalApplicationData::Instance();
    data->RegisterLogOutput(QStringLiteral("logs"));

    const QPointF linePoint(2, 3);
    QCOMPARE(GlobalApplicationData::ProjectOnLine(QPointF(9, 9), QPointF(0, 0), linePoint),
             linePoint);
    QByteArray log = VelaTest::ReadFile(data->GetLogFileName());
    const QByteArray line = "file=\"src\\GlobalApplicationData.cpp\". Arithmetic error.\" \n";
    QCOMPARE(log.count(line), 1);

    // Negative zero is zero too; a tiny direction is not.
    QCOMPARE(GlobalApplicationData::ProjectOnLine(QPointF(9, 9), QPointF(-0.0, 0), linePoint),
             linePoint);
    QCOMPARE(GlobalApplicationData::ProjectOnLine(QPointF(9, 9), QPointF(1e-3, 0), linePoint),
             QPointF(9, 3));
    log = VelaTest::ReadFile(data->GetLogFileName());
    QCOMPARE(log.count(line), 2);
}

void TestStrokeGeometry::fixedValues()
{
    QCOMPARE(GlobalApplicationData::GetProgressTimeout(), 2000);
    const QRect rect = GlobalApplicationData::Instance()->GetMinBrushRectForOpenCL();
    QCOMPARE(rect, QRect(0, 0, 640, 640));
    QCOMPARE(rect.right(), 639);
    QCOMPARE(rect.bottom(), 639);
}

VELA_TEST_MAIN(TestStrokeGeometry)
#include "tst_strokegeometry.moc"
