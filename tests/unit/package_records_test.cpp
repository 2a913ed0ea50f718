#include "payload/package_records.h"

#include <gtest/gtest.h>

namespace {

TEST(PackageRecords, HeaderFieldsSitAtTheirOffsets) {
    InstallerHeader header;
    header.installMode = installmode::kJpeg;
    header.hasLicence = 1;
    header.hasDocument = 2;
    header.carriesFlashInstaller = 3;
    header.flashAXInstallerVersion = 1;
    header.offerControlPanel = 5;
    header.saverTitle = "Aquarium";
    header.entries[1] = {"impborl.dat", 701520, 760000, 4, 0, 0, 0};
    header.entries[10] = {"x.bin", -2, 0x7FFFFFFF, 7, 1, 0x01020304, 12345};

    const HeaderBytes bytes = writeInstallerHeaderRecord(header);
    EXPECT_EQ(bytes[0], 8);
    EXPECT_EQ(bytes[1], 1);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[3], 3);
    EXPECT_EQ(bytes[4], 1);
    EXPECT_EQ(bytes[5], 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[6]), 9),
              std::string("Aquarium\0", 9));
    const std::size_t e1 = 72 + 280;
    EXPECT_EQ(bytes[e1], 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[e1 + 1]), 11), "impborl.dat");
    EXPECT_EQ(readInt32(&bytes[e1 + 256]), 701520);
    EXPECT_EQ(readInt32(&bytes[e1 + 260]), 760000);
    EXPECT_EQ(readInt32(&bytes[e1 + 264]), 4);
    const std::size_t e10 = 72 + 10 * 280;
    EXPECT_EQ(bytes[e10 + 268], 1);
    EXPECT_EQ(bytes[e10 + 272], 0x04) << "little-endian";
    EXPECT_EQ(bytes[e10 + 275], 0x01);
    EXPECT_EQ(readInt32(&bytes[e10 + 256]), -2);
    EXPECT_EQ(readInt32(&bytes[e10 + 276]), 12345);
    EXPECT_EQ(e10 + 280, kInstallerHeaderSize);

    const InstallerHeader back = readInstallerHeaderRecord(bytes);
    EXPECT_EQ(back.installMode, 8);
    EXPECT_EQ(back.offerControlPanel, 5);
    EXPECT_EQ(back.saverTitle, "Aquarium");
    EXPECT_EQ(back.entries[1].name, "impborl.dat");
    EXPECT_EQ(back.entries[1].storedSize(), 760000 - 701520 + 1);
    EXPECT_EQ(back.entries[10].lastByte, 0x7FFFFFFF);
    EXPECT_EQ(back.entries[10].reserved, 0x01020304);
    EXPECT_EQ(back.entries[10].storedSize(), 0x7FFFFFFFLL + 3) << "no overflow";
    EXPECT_FALSE(back.entries[0].present());
    EXPECT_FALSE(back.entries[9].present());
}

TEST(PackageRecords, FullWidthTextsHaveNoTerminator) {
    InstallerHeader header;
    header.saverTitle = std::string(64, 'T');
    header.entries[6].name = std::string(255, 'n');
    HeaderBytes bytes = writeInstallerHeaderRecord(header);
    bytes[70] = 'X'; // the padding after the title is not part of it
    const InstallerHeader back = readInstallerHeaderRecord(bytes);
    EXPECT_EQ(back.saverTitle, std::string(64, 'T'));
    EXPECT_EQ(back.entries[6].name, std::string(255, 'n'));

    FileTableRecord record{2, std::string(256, 'p'), 99};
    TableRecordBytes tableBytes = writeFileTableRecord(record);
    tableBytes[258] = 'Y';
    EXPECT_EQ(readFileTableRecord(tableBytes).name, std::string(256, 'p'));
}

TEST(PackageRecords, NameLengthByteDecidesNotTheBytesBehindIt) {
    EntryBytes bytes{};
    bytes[0] = 3;
    bytes[1] = 'a', bytes[2] = 'b', bytes[3] = 'c', bytes[4] = 'd';
    EXPECT_EQ(readPackageEntry(bytes).name, "abc");
    bytes[0] = 0;
    EXPECT_FALSE(readPackageEntry(bytes).present());
}

TEST(PackageRecords, DataFileRecords) {
    SettingsRecord settings;
    settings.setFileCount(1010);
    settings.setSaverKind(kSaverKindCopiesMovie);
    EXPECT_EQ(readInt32(&settings.bytes[212]), 1010);
    EXPECT_EQ(readInt32(&settings.bytes[1208]), 3);
    EXPECT_EQ(settings.fileCount(), 1010);

    const TableRecordBytes table =
        writeFileTableRecord({kTableKindCopy, "movies\\a.swf", 0x123456});
    EXPECT_EQ(table[0], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&table[2])), "movies\\a.swf");
    EXPECT_EQ(readInt32(&table[260]), 0x123456);
    const FileTableRecord back = readFileTableRecord(table);
    EXPECT_EQ(back.name, "movies\\a.swf");
    EXPECT_EQ(back.itemOffset, 0x123456);

    const ItemHeaderBytes item = writeItemHeader({1000, 400, 1});
    EXPECT_EQ(readInt32(&item[8]), 1000);
    EXPECT_EQ(readInt32(&item[12]), 400);
    EXPECT_EQ(readInt32(&item[16]), 1);
    EXPECT_EQ(readItemHeader(item).bytesFollowing(), 400);
    EXPECT_EQ(readItemHeader(writeItemHeader({1000, 400, 0})).bytesFollowing(), 1000);
}

} // namespace
