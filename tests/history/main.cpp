// Qt SQL loads its drivers only once a QCoreApplication exists.
#include <QCoreApplication>

#include <gmock/gmock.h>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
