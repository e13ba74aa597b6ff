// "pid.par" against what a hostile user, a full disk or a file system without
// hard links puts in its way, on the real file code in a temporary folder
// (only regular files are read, and a pipe never blocks); and message box
// lines cut to 100 characters.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "platform/files.h"
#include "platform/platform.h"
#include "support/harness.h"

namespace ovx {
namespace {

// The new content is the shorter, so a replacement that leaves a tail shows.
const QByteArray kOld = "100=P1I1D1\r\n; old\r\n", kNew = "200=P2I2D2\r\n";

struct Folder {
  QTemporaryDir dir;
  QByteArray at(const QString& name) const { return QFile::encodeName(dir.filePath(name)); }
  void put(const QString& name, const QByteArray& content, mode_t mode = 0644) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    ASSERT_EQ(::chmod(at(name), mode), 0);
  }
  void link(const QString& name, const QString& target) {
    ASSERT_EQ(::symlink(at(target).constData(), at(name)), 0);
  }
  // Every entry, sorted: a link with its target, and what reads as a regular
  // file (through a link too) with its mode and content.
  QString listing() const {
    QStringList entries;
    QDirIterator it(dir.path(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString path = it.next();
      QString entry = QDir(dir.path()).relativeFilePath(path);
      if (it.fileInfo().isSymLink())
        entry += " -> " + QDir(dir.path()).relativeFilePath(it.fileInfo().symLinkTarget());
      const std::optional<QByteArray> content = files::Read(path);
      struct stat st {};
      if (content && ::stat(QFile::encodeName(path).constData(), &st) == 0)
        entry += " " + QString::number(st.st_mode & 07777, 8) + ": " + *content;
      entries << entry;
    }
    entries.sort();
    return entries.join(" | ");
  }
};

TEST(FileSafety, PidParIsReplacedOrCreatedOnlyWhereItShould) {
  std::signal(SIGXFSZ, SIG_IGN);
  ::umask(022);
  // Root may give the file any group; others keep their own.
  const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
  const QByteArray big(64 * 1024, '\n');
  const auto old = [](Folder& f) { f.put("pid.par", kOld); };
  const auto dangling = [](Folder& f) { f.link("pid.par", "victim"); };
  const auto full = [](Folder&) { test::LimitFileSize(4096); };
  const QString exists = strerror(EEXIST), tooLarge = strerror(EFBIG);
  const files::HardLink noLink = [](const char*, const char*) { return errno = EPERM, -1; };
  const struct {
    const char* name;
    bool create;  // else replace
    std::function<void(Folder&)> plant;
    QByteArray data;
    QString reason, after;
    files::HardLink link = ::link;
  } cases[] = {
      // clang-format off
      {"planted link pid.tmp", false,
       [&](Folder& f) { old(f), f.put("victim", "mine"), f.link("pid.tmp", "victim"); }, kNew, "",
       "pid.par 644: " + kNew + " | pid.tmp -> victim 644: mine | victim 644: mine"},
      {"pipe pid.par", false, [](Folder& f) { ::mkfifo(f.at("pid.par"), 0644); }, kNew,
       files::kNotRegular, "pid.par"},
      {"read-only pid.par", false, [](Folder& f) { f.put("pid.par", kOld, 0444); },
       kNew, strerror(EACCES), "pid.par 444: " + kOld},
      {"group-writable pid.par", false,
       [&](Folder& f) { f.put("pid.par", kOld, 0664);
                        EXPECT_EQ(::chown(f.at("pid.par"), -1, group), 0); },
       kNew, "", "pid.par 664: " + kNew},
      {"linked pid.par", false,
       [](Folder& f) { QDir(f.dir.path()).mkdir("real"), f.put("real/pid.par", kOld, 0640),
                       f.link("pid.par", "real/pid.par"); },
       kNew, "", "pid.par -> real/pid.par 640: " + kNew + " | real | real/pid.par 640: " + kNew},
      {"dangling link", false, dangling, kNew, strerror(ENOENT), "pid.par -> victim"},
      {"full disk", false, [&](Folder& f) { old(f), full(f); }, big, tooLarge,
       "pid.par 644: " + kOld},
      {"create", true, nullptr, kNew, "", "pid.par 644: " + kNew},
      {"create on a dangling link", true, dangling, kNew, exists, "pid.par -> victim"},
      {"create on a full disk", true, full, big, tooLarge, ""},
      // Without hard links (FAT, SMB): created under its name, or not at all.
      {"create, link() refused", true, nullptr, kNew, "", "pid.par 644: " + kNew, noLink},
      {"create on a dangling link, link() refused", true, dangling, kNew, exists,
       "pid.par -> victim", noLink},
      {"create, link() refused, then a full disk", true, nullptr, big, tooLarge, "",
       [](const char*, const char*) { return test::LimitFileSize(4096), errno = EPERM, -1; }},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Folder f;
    if (c.plant) c.plant(f);
    const QString par = f.dir.filePath("pid.par");
    struct stat before {
    }, after{};
    const bool existed = ::stat(f.at("pid.par"), &before) == 0;
    const QString error =
        c.create ? files::Create(par, c.data, c.link) : files::WriteDurably(par, c.data);
    test::LimitFileSize(RLIM_INFINITY);
    EXPECT_EQ(error.toStdString(), c.reason.toStdString());
    EXPECT_EQ(f.listing().toStdString(), c.after.toStdString());
    // A replaced file keeps its group.
    const bool kept = !existed || ::stat(f.at("pid.par"), &after) != 0;
    EXPECT_EQ(kept ? before.st_gid : after.st_gid, before.st_gid);
  }
}

// The log of an interrupted run opened again: only a regular file under its
// own name, never blocking, a row cut short by a crash taken off before the
// next; the folder's files listed newest first, without links and folders.
TEST(FileSafety, AnInterruptedLogIsOpenedOnlyWhereItShould) {
  const QByteArray rows = "# head\r\nrow 1\r\n";
  const std::tuple<std::function<void(Folder&)>, QString, QString> cases[] = {
      {[&](Folder& f) { f.put("log", rows + "ro"); }, "", "log 644: " + rows + "row 2\r\n"},
      {[&](Folder& f) { f.put("log", "# head\r\n"); }, "Changed since it was read",
       "log 644: # head\r\n"},
      {[&](Folder& f) { f.put("real", rows), f.link("log", "real"); }, files::kNotRegular,
       "log -> real 644: " + rows + " | real 644: " + rows},
      {[](Folder& f) { ::mkfifo(f.at("log"), 0644); }, strerror(ENXIO), "log"},
  };
  ::umask(022);
  for (const auto& [plant, reason, after] : cases) {
    Folder f;
    plant(f);
    QString error;
    if (auto log = files::OpenAppendFile(f.dir.filePath("log"), rows.size(), error)) {
      EXPECT_EQ(log->append("row 2\r\n"), "");
    }
    EXPECT_EQ(std::pair(error, f.listing()), std::pair(reason, after));
  }
  Folder f;
  f.link("link", "old");
  for (const auto& [name, age] : {std::pair("old", 300), {"middle", 200}, {"new", 100}}) {
    f.put(name, name);
    const timeval times[2] = {{::time(nullptr) - age, 0}, {::time(nullptr) - age, 0}};
    ASSERT_EQ(::utimes(f.at(name), times), 0);
  }
  EXPECT_EQ(files::NewestFirst(f.dir.path()), QStringList({"new", "middle", "old"}));
}

TEST(FileSafety, BoxLinesAreCutAtAHundredCharacters) {
  const QString x99(99, 'x'), cut = x99 + "y…", smile = QString::fromUtf8("😀");
  const std::pair<QString, QString> cases[] = {
      {x99 + "y", x99 + "y"},
      {x99 + "yz", cut},
      {x99 + "yz\r\n" + x99 + "yzz\r\n\r\nend", cut + "\r\n" + cut + "\r\n\r\nend"},
      {x99 + smile + "z", x99 + smile + "…"},
      {x99 + "y" + smile, cut},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(clipLines(text), shown) << text.toStdString();
}

}  // namespace
}  // namespace ovx
