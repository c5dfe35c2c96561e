#include "shared/Log.h"
#include "shared/sensors/AmbientLightSensor.h"
#include "shared/sensors/LidAngleSensor.h"
#include "shared/sensors/MotionSensor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quelmo::shared;

namespace {

// A directory tree laid out like /sys/bus/iio/devices (and /sys/class/dmi/id).
class FakeSysfs {
public:
    QString root() const { return dir_.path(); }

    void write(const QString& relative, const QByteArray& contents) {
        const QString path = dir_.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents + '\n');
    }

private:
    QTemporaryDir dir_;
};

} // namespace

TEST(MotionSensorTest, OpensTheFirstReadableAccelerometerAndConvertsToG) {
    FakeSysfs sysfs;
    // device0 is a light sensor; device2 has an axis that does not read as a number; device10 is
    // the accelerometer (and sorts after device2 as the kernel numbers it).
    sysfs.write("iio:device0/name", "als");
    sysfs.write("iio:device0/in_illuminance_raw", "12");
    sysfs.write("iio:device2/name", "broken-accel");
    sysfs.write("iio:device2/in_accel_x_raw", "garbage");
    sysfs.write("iio:device2/in_accel_y_raw", "1");
    sysfs.write("iio:device2/in_accel_z_raw", "1");
    sysfs.write("iio:device10/name", "accel_3d");
    sysfs.write("iio:device10/in_accel_x_raw", "1000");
    sysfs.write("iio:device10/in_accel_y_raw", "-500");
    sysfs.write("iio:device10/in_accel_z_raw", "480");
    sysfs.write("iio:device10/in_accel_scale", "0.00980665");  // 1000 units = 1 g
    sysfs.write("iio:device10/in_accel_z_scale", "0.0196133"); // its own scale for z
    sysfs.write("iio:device10/in_accel_z_offset", "20");       // (480 + 20) * scale = 1 g

    ScopedLogCapture log;
    MotionSensor sensor(sysfs.root());
    ASSERT_TRUE(sensor.open());
    EXPECT_EQ(sensor.sensorType(), "accel_3d");
    EXPECT_EQ(log.lines(), std::vector<QString>{"✅ MotionSensor: Opened accel_3d"});
    MotionSensor::MotionData data = sensor.read();
    EXPECT_NEAR(data.x, 1.0, 1e-9);
    EXPECT_NEAR(data.y, -0.5, 1e-9);
    EXPECT_NEAR(data.z, 1.0, 1e-9);

    // An axis that stops reading reads 0; the others go on.
    sysfs.write("iio:device10/in_accel_y_raw", "");
    data = sensor.read();
    EXPECT_NEAR(data.x, 1.0, 1e-9);
    EXPECT_EQ(data.y, 0.0);

    sensor.close();
    EXPECT_FALSE(sensor.isOpen());
    EXPECT_EQ(sensor.read(), MotionSensor::MotionData{});
}

TEST(MotionSensorTest, WithoutAnAccelerometerOpenFailsAndReadsZeros) {
    for (const QString& root : {QStringLiteral("/nonexistent/iio"), QString()}) {
        FakeSysfs sysfs;
        sysfs.write("iio:device0/in_accel_x_raw", "5"); // two axes only
        sysfs.write("iio:device0/in_accel_y_raw", "5");
        ScopedLogCapture log;
        MotionSensor sensor(root.isEmpty() ? sysfs.root() : root);
        EXPECT_FALSE(sensor.open());
        EXPECT_EQ(log.lines(),
                  std::vector<QString>{
                      "⚠️ MotionSensor: No accelerometer found (desktop or unsupported model)"});
        EXPECT_EQ(sensor.read(), MotionSensor::MotionData{});
    }
}

TEST(AmbientLightSensorTest, NormalisesTheScaledLevelAndClampsIt) {
    FakeSysfs sysfs;
    sysfs.write("iio:device0/in_illuminance_raw", "3000");
    sysfs.write("iio:device0/in_illuminance_scale", "0.25");
    AmbientLightSensor lux(sysfs.root());
    EXPECT_EQ(lux.readRaw(), 0u) << "closed";
    ASSERT_TRUE(lux.open());
    EXPECT_EQ(lux.readRaw(), 3000u);
    EXPECT_DOUBLE_EQ(lux.readNormalized(), 0.75); // 750 lux of 1000
    sysfs.write("iio:device0/in_illuminance_raw", "60000");
    EXPECT_EQ(lux.readRaw(), 60000u);
    EXPECT_DOUBLE_EQ(lux.readNormalized(), 1.0);
    sysfs.write("iio:device0/in_illuminance_raw", "-7");
    EXPECT_EQ(lux.readRaw(), 0u);
    EXPECT_DOUBLE_EQ(lux.readNormalized(), 0.0);

    // Bare converter counts: a processed input is not there, so the clear channel's counts count.
    FakeSysfs counts;
    counts.write("iio:device3/in_intensity_ir_raw", "9999");
    counts.write("iio:device3/in_intensity_clear_raw", "13107");
    AmbientLightSensor clear(counts.root());
    ASSERT_TRUE(clear.open());
    EXPECT_DOUBLE_EQ(clear.readNormalized(), 0.2);
}

TEST(LidAngleSensorTest, FallsBackFromTheHingeToTheLightToNinetyDegrees) {
    FakeSysfs sysfs;
    sysfs.write("iio:device0/in_illuminance_input", "500.0");
    sysfs.write("iio:device1/name", "cros-ec-lid-angle");
    sysfs.write("iio:device1/in_angl_raw", "120");
    LidAngleSensor lid(sysfs.root());
    EXPECT_EQ(lid.readDirect(), 120.0);
    EXPECT_EQ(lid.read(), 120.0);

    // A scaled angle channel is in radians.
    sysfs.write("iio:device1/in_angl_scale", "0.0015707963267948966");
    sysfs.write("iio:device1/in_angl_raw", "1000");
    EXPECT_NEAR(lid.read(), 90.0, 1e-9);

    // No hinge: the light level (0.5 of full scale) stands for the opening.
    QFile::remove(sysfs.root() + "/iio:device1/in_angl_raw");
    EXPECT_EQ(lid.readDirect(), std::nullopt);
    EXPECT_DOUBLE_EQ(lid.read(), 67.5);

    // Neither: 90 degrees, and the light sensor's absence is logged.
    ScopedLogCapture log;
    LidAngleSensor bare("/nonexistent/iio");
    EXPECT_EQ(bare.read(), 90.0);
    EXPECT_TRUE(log.contains("AmbientLightSensor: No ambient light sensor found"));
}

TEST(LidAngleSensorTest, LaptopsAreTheChassisTypesWithALid) {
    FakeSysfs dmi;
    for (const auto& [type, laptop] : std::vector<std::pair<QByteArray, bool>>{
             {"9", true}, {"10", true}, {"31", true}, {"3", false}, {"35", false}, {"x", false}}) {
        dmi.write("chassis_type", type);
        EXPECT_EQ(LidAngleSensor::isLaptop(dmi.root()), laptop) << type.constData();
    }
    EXPECT_FALSE(LidAngleSensor::isLaptop("/nonexistent/dmi"));
}
