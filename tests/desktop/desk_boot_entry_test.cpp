// The boot entry for the rescue ISO on a simulated machine: the system
// drive C: is a folder of files, and bcdedit is a recording stand-in that
// keeps a boot store of its own. An install followed by an uninstall must
// leave the drive (file by file, permissions included) and the boot store
// exactly as they were, by running exactly the expected commands.
#include "programs/desktop/desk_boot_entry.h"
#include "desktop/desk_machine.h"
#include "programs/desktop/desk_settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

using namespace testsupport;

namespace {

// The stand-in bcdedit. It logs each argument list (one JSON array a line),
// keeps its store as JSON, maps the Windows paths it is given onto the
// machine's drives, and fails the command named in bcd-fail.
const char kBcdedit[] = R"PY(#!/usr/bin/env python3
import json, os, shutil, sys
MACHINE = %MACHINE%
STORE = os.path.join(MACHINE, "bcd-store.json")
args = sys.argv[1:]
with open(os.path.join(MACHINE, "bcd-log.txt"), "a") as log:
    log.write(json.dumps(args) + "\n")
fail = os.path.join(MACHINE, "bcd-fail")
if args and os.path.exists(fail) and open(fail).read().strip() == args[0]:
    sys.exit(1)
def host(path):
    return os.path.join(MACHINE, "fs", path[0].lower(), path[3:].replace("\\", "/"))
store = json.load(open(STORE))
def save():
    with open(STORE, "w") as out:
        json.dump(store, out, sort_keys=True, indent=1)
def entry(ident):
    for e in store["entries"]:
        if e["id"] == ident:
            return e
    sys.exit(2)
if not args:
    for e in store["entries"]:
        print("identifier              " + e["id"])
        for key in sorted(e["props"]):
            print("%-24s%s" % (key, e["props"][key]))
        print("")
elif args[0] == "/export":
    shutil.copyfile(STORE, host(args[1]))
elif args[0] == "/create" and args[1] == "/d":
    store["next"] += 1
    ident = "{%08x-1111-2222-3333-444455556666}" % store["next"]
    store["entries"].append({"id": ident, "props": {"description": args[2], "application": args[4]}})
    save()
    print("The entry %s was successfully created." % ident)
elif args[0] == "/set":
    entry(args[1])["props"][args[2]] = args[3]
    save()
elif args[0] == "/displayorder" and args[2] == "/addlast":
    entry(args[1])
    store["order"].append(args[1])
    save()
elif args[0] == "/delete":
    entry(args[1])
    store["entries"] = [e for e in store["entries"] if e["id"] != args[1]]
    store["order"] = [i for i in store["order"] if i != args[1]]
    save()
else:
    sys.exit(3)
)PY";

const char kStore[] = R"({"entries": [{"id": "{current}", "props": {"description": "Windows 7",
 "path": "\\Windows\\system32\\winload.exe"}}], "next": 0, "order": ["{current}"]})";

// Every file and folder of a drive: its permissions, size and digest.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const QString& root)
{
    Snapshot files;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QByteArray bytes = "<dir>";
        if (!it.fileInfo().isDir()) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            bytes = file.readAll();
        }
        files[path.mid(root.size()).toStdString()] =
            QString("perm %1 size %2 md5 %3")
                .arg(int(QFile::permissions(path)), 0, 16)
                .arg(bytes.size())
                .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()))
                .toStdString();
    }
    return files;
}

QByteArray readBytes(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

class BootEntryTest : public ::testing::Test {
protected:
    explicit BootEntryTest(const std::string& system = "Version=6.1\nProductType=1\n") : machine(system) {}

    void SetUp() override
    {
        ASSERT_TRUE(machine.ok);
        int argc = 1;
        static char name[] = "t";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            app.reset(new QCoreApplication(argc, argv));
        const std::string data = machine.host("fs/c/Program Files/Sorvik/data");
        std::filesystem::create_directories(data);
        WriteFileBytes(data + "/sorvik2_cn.iso", PatternBytes(300000, 1));
        WriteFileBytes(data + "/Qomra", PatternBytes(60000, 2));
        WriteFileBytes(data + "/Qomra.mbr", PatternBytes(9000, 3));
        std::filesystem::create_directories(machine.host("fs/c/Windows/System32"));
        std::string script = kBcdedit;
        script.replace(script.find("%MACHINE%"), 9, "\"" + machine.machine + "\"");
        const std::string bcdedit = machine.host("fs/c/Windows/System32/bcdedit.exe");
        WriteFileBytes(bcdedit, std::vector<uint8_t>(script.begin(), script.end()));
        std::filesystem::permissions(bcdedit, std::filesystem::perms::owner_all);
        const std::string store = kStore;
        WriteFileBytes(machine.host("bcd-store.json"), std::vector<uint8_t>(store.begin(), store.end()));
    }

    QString drive() const { return QString::fromStdString(machine.host("fs/c")); }
    // The boot store's entries and display order (not the stand-in's counter).
    QByteArray store() const
    {
        QJsonObject object = QJsonDocument::fromJson(readBytes(machine.host("bcd-store.json"))).object();
        object.remove("next");
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    // The commands run since the last call, one argument list each.
    std::vector<QStringList> commands()
    {
        const QByteArray log = readBytes(machine.host("bcd-log.txt"));
        std::vector<QStringList> all;
        for (const QByteArray& line : log.split('\n')) {
            if (line.isEmpty())
                continue;
            QStringList args;
            for (const QJsonValue& v : QJsonDocument::fromJson(line).array())
                args << v.toString();
            all.push_back(args);
        }
        std::vector<QStringList> fresh(all.begin() + std::min(seen, all.size()), all.end());
        seen = all.size();
        return fresh;
    }

    desk::BootEntryInstaller installer()
    {
        return desk::BootEntryInstaller([this](const QString& message) { messages << message; });
    }

    std::unique_ptr<QCoreApplication> app;
    desktest::DeskMachine machine;
    QStringList messages;
    size_t seen = 0;
};

TEST_F(BootEntryTest, BcdInstallThenUninstallLeavesDriveAndStoreAsBefore)
{
    // A loader file of someone else's is there already: it is set aside and comes back.
    WriteFileBytes(machine.host("fs/c/Qomra"), PatternBytes(100, 9));
    const Snapshot before = snapshot(drive());
    const QByteArray storeBefore = store();
    const QByteArray storeFile = readBytes(machine.host("bcd-store.json"));

    ASSERT_TRUE(installer().installBcd()) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.isEmpty());
    const QString id = desk::readSetting(desk::kBootIdKey);
    ASSERT_EQ(id, "{00000001-1111-2222-3333-444455556666}");
    const std::vector<QStringList> installed = {
        {},
        {"/export", "C:\\Program Files\\Sorvik\\bak\\BCD_bk"},
        {"/create", "/d", "Sorvik Tavimo Recover 2.0", "/application", "bootsector"},
        {"/set", id, "device", "partition=C:"},
        {"/set", id, "path", "\\Qomra.mbr"},
        {"/displayorder", id, "/addlast"},
    };
    EXPECT_EQ(commands(), installed);
    EXPECT_EQ(readBytes(machine.host("fs/c/Program Files/Sorvik/bak/BCD_bk")), storeFile);
    const std::string data = machine.host("fs/c/Program Files/Sorvik/data/");
    EXPECT_EQ(readBytes(machine.host("fs/c/Qomra")), readBytes(data + "Qomra"));
    EXPECT_EQ(readBytes(machine.host("fs/c/Qomra.mbr")), readBytes(data + "Qomra.mbr"));
    EXPECT_EQ(readBytes(machine.host("fs/c/Sorvik/sorvik2_cn.iso")), readBytes(data + "sorvik2_cn.iso"));
    EXPECT_EQ(readBytes(machine.host("fs/c/Qomra_bak")),
              QByteArray(reinterpret_cast<const char*>(PatternBytes(100, 9).data()), 100));
    EXPECT_EQ(QString::fromLocal8Bit(readBytes(machine.host("fs/c/menu.lst"))), desk::menuLstTemplate());

    ASSERT_TRUE(installer().uninstallBcd()) << messages.join('\n').toStdString();
    EXPECT_EQ(commands(), std::vector<QStringList>({{"/delete", id}}));
    EXPECT_EQ(store(), storeBefore);
    EXPECT_EQ(snapshot(drive()), before);
    EXPECT_TRUE(desk::readSetting(desk::kBootIdKey).isEmpty());
}

TEST_F(BootEntryTest, BcdUninstallRemovesOnlyItsOwnEntry)
{
    ASSERT_TRUE(installer().installBcd());
    // Another program adds an entry after ours.
    const std::string bcdedit = "\"" + machine.host("fs/c/Windows/System32/bcdedit.exe") + "\"";
    ASSERT_EQ(testsupport::Run(bcdedit + " /create /d Other /application bootsector").exitCode, 0);
    ASSERT_EQ(
        testsupport::Run(bcdedit + " /displayorder {00000002-1111-2222-3333-444455556666} /addlast").exitCode,
        0);
    commands();
    ASSERT_TRUE(installer().uninstallBcd());
    EXPECT_EQ(commands(), std::vector<QStringList>({{"/delete", "{00000001-1111-2222-3333-444455556666}"}}));
    const QString listing = QString::fromStdString(testsupport::Run(bcdedit).output);
    EXPECT_TRUE(listing.contains("{00000002-1111-2222-3333-444455556666}"));
    EXPECT_FALSE(listing.contains("{00000001-"));
}

TEST_F(BootEntryTest, FailedBcdInstallTakesBackItsSteps)
{
    // Each failing step in turn: the store and the drive end as they were.
    for (const char* failing : {"/create", "/set", "/displayorder"}) {
        SCOPED_TRACE(failing);
        const Snapshot before = snapshot(drive());
        const QByteArray storeBefore = store();
        WriteFileBytes(machine.host("bcd-fail"), std::vector<uint8_t>(failing, failing + strlen(failing)));
        messages.clear();
        EXPECT_FALSE(installer().installBcd());
        EXPECT_EQ(messages, QStringList({"Run bcdedit failed!"}));
        EXPECT_EQ(store(), storeBefore);
        std::filesystem::remove(machine.host("bcd-fail"));
        EXPECT_EQ(snapshot(drive()), before);
        EXPECT_TRUE(desk::readSetting(desk::kBootIdKey).isEmpty());
    }
    // A data file missing: the entry made is deleted again.
    std::filesystem::remove(machine.host("fs/c/Program Files/Sorvik/data/Qomra.mbr"));
    const Snapshot before = snapshot(drive());
    const QByteArray storeBefore = store();
    messages.clear();
    EXPECT_FALSE(installer().installBcd());
    EXPECT_EQ(messages, QStringList({"Copy file failed!"}));
    EXPECT_EQ(store(), storeBefore);
    EXPECT_EQ(snapshot(drive()), before);
}

TEST_F(BootEntryTest, BcdInstallRefusedWhileAnEntryLoadsQomraMbr)
{
    ASSERT_TRUE(installer().installBcd());
    const Snapshot before = snapshot(drive());
    const QByteArray storeBefore = store();
    commands();
    EXPECT_FALSE(installer().installBcd());
    EXPECT_EQ(messages, QStringList({"There is a boot item already exists which name Qomra.mbr!"}));
    EXPECT_EQ(commands(), std::vector<QStringList>({{}}));
    EXPECT_EQ(store(), storeBefore);
    EXPECT_EQ(snapshot(drive()), before);
}

TEST_F(BootEntryTest, ExistingBakCopyIsNeverOverwritten)
{
    WriteFileBytes(machine.host("fs/c/Qomra"), PatternBytes(10, 4));
    WriteFileBytes(machine.host("fs/c/Qomra_bak"), PatternBytes(10, 5));
    const Snapshot before = snapshot(drive());
    const QByteArray storeBefore = store();
    EXPECT_FALSE(installer().installBcd());
    EXPECT_EQ(messages, QStringList({"Can not keep a copy of c:\\Qomra!"}));
    EXPECT_EQ(store(), storeBefore);
    EXPECT_EQ(snapshot(drive()), before);
}

class BootIniTest : public BootEntryTest {
protected:
    BootIniTest() : BootEntryTest("Version=5.1\nProductType=1\n") {}
    void SetUp() override
    {
        BootEntryTest::SetUp();
        const std::string ini =
            "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" /fastdetect";
        WriteFileBytes(machine.host("fs/c/boot.ini"), std::vector<uint8_t>(ini.begin(), ini.end()));
        std::filesystem::permissions(machine.host("fs/c/boot.ini"),
                                     std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
        original = QByteArray(ini.data(), int(ini.size()));
    }
    QByteArray original;
};

TEST_F(BootIniTest, InstallThenUninstallLeavesTheDriveAsBefore)
{
    WriteFileBytes(machine.host("fs/c/menu.lst"), PatternBytes(50, 6));  // someone else's menu
    const Snapshot before = snapshot(drive());
    const QFileDevice::Permissions readOnly =
        QFile::permissions(QString::fromStdString(machine.host("fs/c/boot.ini")));

    ASSERT_TRUE(installer().installBootIni()) << messages.join('\n').toStdString();
    const QString ini = QString::fromStdString(machine.host("fs/c/boot.ini"));
    EXPECT_EQ(readBytes(ini.toStdString()), original + "\r\nc:\\Qomra=\"Sorvik Tavimo Recover 2.0\"");
    EXPECT_EQ(QFile::permissions(ini), readOnly);
    EXPECT_EQ(QString::fromLocal8Bit(readBytes(machine.host("fs/c/menu.lst"))), desk::menuLstTemplate());
    EXPECT_TRUE(std::filesystem::exists(machine.host("fs/c/menu.lst_bak")));
    EXPECT_EQ(readBytes(machine.host("fs/c/Qomra")),
              readBytes(machine.host("fs/c/Program Files/Sorvik/data/Qomra")));
    EXPECT_FALSE(std::filesystem::exists(machine.host("fs/c/Qomra.mbr")));
    EXPECT_TRUE(commands().empty());

    ASSERT_TRUE(installer().uninstallBootIni()) << messages.join('\n').toStdString();
    EXPECT_EQ(snapshot(drive()), before);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BootIniTest, FailedInstallTakesBackTheLineAndFiles)
{
    std::filesystem::remove(machine.host("fs/c/Program Files/Sorvik/data/sorvik2_cn.iso"));
    const Snapshot before = snapshot(drive());
    EXPECT_FALSE(installer().installBootIni());
    EXPECT_EQ(messages, QStringList({"Copy file failed!"}));
    EXPECT_EQ(snapshot(drive()), before);
}

TEST_F(BootIniTest, MissingBootIniIsReported)
{
    std::filesystem::remove(machine.host("fs/c/boot.ini"));
    const Snapshot before = snapshot(drive());
    EXPECT_FALSE(installer().installBootIni());
    EXPECT_EQ(messages, QStringList({"Can not write c:\\boot.ini file!"}));
    EXPECT_EQ(snapshot(drive()), before);
}

TEST(BootEntryRules, MenuLstAndRoutes)
{
    EXPECT_EQ(desk::menuLstTemplate(),
              "timeout 0 \r\ndefault 0 \r\nhiddenmenu \r\n\r\ntitle Sorvik Tavimo Recover 2.0 \r\n"
              "find --set-root /Sorvik/sorvik2_cn.iso \r\nmap --mem /Sorvik/sorvik2_cn.iso (0xff) \r\n"
              "map --hook \r\nchainloader (0xff)");
    const int routes[] = {0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0};
    for (int code = -1; code <= 16; ++code)
        EXPECT_EQ(desk::bootRouteFor(code), code < 0 ? 0 : routes[code]) << code;
}

}  // namespace
