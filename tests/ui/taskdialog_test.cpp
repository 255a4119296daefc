// The task dialog run modally under the offscreen platform and driven with
// real events while DoModal runs: ending it by button, key and close box,
// the auto-close countdown on a fake clock, footer updates, and the About
// box filled from version resources.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/test_support.h"
#include "tests/ui/mainframe_fixture.h"
#include "ui/AboutTaskDialog.h"
#include "ui/TaskDialog.h"
#include "ui/VersionInfo.h"

namespace {

constexpr int kGuardId = -7;  // a dialog the test had to end itself

QDialog* RunningDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String("taskDialog") && widget->isVisible()) return qobject_cast<QDialog*>(widget);
  return nullptr;
}

QString Text(QDialog* dialog, const char* name) { return dialog->findChild<QLabel*>(QLatin1String(name))->text(); }

// Calls `run` and, once a task dialog is on screen, `action`. A modal dialog
// still open ten seconds later is ended with kGuardId, so a failing test
// cannot hang.
int Drive(const std::function<int()>& run, const std::function<void(QDialog*)>& action) {
  // The offscreen platform says so for any top-level window with a size limit.
  testsupport::ExpectQtWarning("This plugin does not support propagateSizeHints()");
  QObject context;
  bool acted = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &context, [&] {
    QDialog* shown = RunningDialog();
    if (!shown || acted) return;
    acted = true;
    action(shown);
  });
  poll.start();
  QTimer::singleShot(10000, &context, [] {
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) modal->done(kGuardId);
  });
  return run();
}

int RunWith(CTaskDialog& dialog, const std::function<void(QDialog*)>& action) {
  return Drive([&] { return dialog.DoModal(); }, action);
}

void ClickOk(QDialog* dialog) {
  QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
}

// Fake clock: each read advances 200 ms, as many as the dialog's timer ticks,
// and notes the footer shown at that moment. Starts just below the 32-bit
// wrap so the countdown must survive it.
constexpr DWORD kFakeStart = 0xFFFFFF00u;
DWORD g_fakeNow = kFakeStart;
std::vector<QString> g_footerAtRead;

DWORD FakeTick() {
  QDialog* shown = RunningDialog();
  g_footerAtRead.push_back(shown ? Text(shown, "footer") : QString());
  const DWORD now = g_fakeNow;
  g_fakeNow += 200;
  return now;
}

class TaskDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    g_fakeNow = kFakeStart;
    g_footerAtRead.clear();
    CTaskDialog::SetTickSource(FakeTick);
  }
  void TearDown() override { CTaskDialog::SetTickSource(nullptr); }
};

QString Countdown(int seconds) { return QStringLiteral("This window will automatically close in %1 seconds").arg(seconds); }

TEST_F(TaskDialogTest, AutoCloseCountsDownInTheFooterAndPressesOkAtFiveSeconds) {
  CTaskDialog dialog(nullptr, u"Connected", u"Connected to home", u"The connection is up.", u"");
  dialog.EnableAutoClose();
  EXPECT_EQ(RunWith(dialog, [](QDialog*) {}), CTaskDialog::kIdOk);

  // Read 0 is the start; read n is timer tick n (n * 200 ms), noting the
  // footer that tick n - 1 left.
  ASSERT_EQ(g_footerAtRead.size(), 26u) << "the dialog must end at the tick of 5000 ms, not before or after";
  EXPECT_EQ(g_footerAtRead[1], QStringLiteral(" ")) << "footer area present, countdown not yet shown";
  EXPECT_EQ(g_footerAtRead[2], Countdown(5)) << "first tick (200 ms) shows 5";
  std::vector<QString> shown;
  for (std::size_t i = 1; i < g_footerAtRead.size(); ++i)
    if (shown.empty() || shown.back() != g_footerAtRead[i]) shown.push_back(g_footerAtRead[i]);
  EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral(" "), Countdown(5), Countdown(4), Countdown(3), Countdown(2),
                                         Countdown(1)}));
  EXPECT_EQ(g_footerAtRead[5], Countdown(5)) << "at 800 ms a started fifth second remains";
  EXPECT_EQ(g_footerAtRead[6], Countdown(4)) << "at 1000 ms exactly four seconds remain";
  EXPECT_EQ(dialog.GetFooter(), u"This window will automatically close in 0 seconds");
}

TEST_F(TaskDialogTest, WithoutAutoCloseNoTimerRunsAndTheFooterStays) {
  CTaskDialog dialog(nullptr, u"Title", u"Heading", u"Body", u"Fixed footer");
  bool timerActive = true;
  QString footerLater;
  const int result = RunWith(dialog, [&](QDialog* shown) {
    timerActive = false;
    for (QTimer* timer : shown->findChildren<QTimer*>()) timerActive = timerActive || timer->isActive();
    QTimer::singleShot(600, shown, [&, shown] {
      footerLater = Text(shown, "footer");
      ClickOk(shown);
    });
  });
  EXPECT_EQ(result, CTaskDialog::kIdOk);
  EXPECT_FALSE(timerActive);
  EXPECT_EQ(footerLater, QStringLiteral("Fixed footer"));
  EXPECT_EQ(g_footerAtRead.size(), 1u) << "only the start reads the clock";
  EXPECT_EQ(dialog.GetFooter(), u"Fixed footer");
}

TEST_F(TaskDialogTest, ShowsTextsAsTypedAndSetFooterUpdatesTheRunningDialog) {
  CTaskDialog dialog(nullptr, u"Connected \u2014 caf\u00e9", u"<b>Heading</b>", u"Line 1\nLine 2", u"");
  QString title, instruction, content, okText, footerText;
  bool plain = false, hiddenAtStart = false, visibleWithText = false, hiddenWhenEmptied = false;
  RunWith(dialog, [&](QDialog* shown) {
    title = shown->windowTitle();
    instruction = Text(shown, "mainInstruction");
    content = Text(shown, "content");
    okText = shown->findChild<QPushButton*>(QStringLiteral("okButton"))->text();
    // Texts such as network names are shown as typed, never as markup.
    plain = true;
    for (const char* name : {"mainInstruction", "content", "footer"})
      plain = plain && shown->findChild<QLabel*>(QLatin1String(name))->textFormat() == Qt::PlainText;
    auto* footer = shown->findChild<QLabel*>(QStringLiteral("footer"));
    auto* line = shown->findChild<QFrame*>(QStringLiteral("footerSeparator"));
    hiddenAtStart = !footer->isVisible() && !line->isVisible();
    dialog.SetFooter(u"Now there is a footer");
    footerText = footer->text();
    visibleWithText = footer->isVisible() && line->isVisible();
    dialog.SetFooter(u"");
    hiddenWhenEmptied = !footer->isVisible() && !line->isVisible();
    ClickOk(shown);
  });
  EXPECT_EQ(title, QString::fromUtf8("Connected \u2014 caf\u00e9"));
  EXPECT_EQ(instruction, QStringLiteral("<b>Heading</b>"));
  EXPECT_EQ(content, QStringLiteral("Line 1\nLine 2"));
  EXPECT_EQ(okText, QStringLiteral("OK"));
  EXPECT_TRUE(plain);
  EXPECT_TRUE(hiddenAtStart) << "an empty footer takes no room";
  EXPECT_EQ(footerText, QStringLiteral("Now there is a footer"));
  EXPECT_TRUE(visibleWithText);
  EXPECT_TRUE(hiddenWhenEmptied);
  // After the run the text is only stored (no window left to update).
  dialog.SetFooter(u"After the run");
  EXPECT_EQ(dialog.GetFooter(), u"After the run");
}

TEST_F(TaskDialogTest, OwnerDestroyedWhileRunningEndsTheDialogAsCancelled) {
  auto* owner = new QWidget;
  CTaskDialog dialog(owner, u"T", u"Heading", u"Body", u"");
  EXPECT_EQ(RunWith(dialog, [owner](QDialog*) { delete owner; }), CTaskDialog::kIdCancel);
  EXPECT_EQ(RunningDialog(), nullptr);
}

struct EndCase {
  const char* name;
  bool cancellable;  // built with texts (flags 0x1009) or default-constructed (flags 0)
  std::function<void(QDialog*)> end;
  int expected;
};

TEST_F(TaskDialogTest, EndsByButtonKeyOrCloseBoxWhenAllowed) {
  const auto escape = [](QDialog* d) { QTest::keyClick(d, Qt::Key_Escape); };
  const auto closeBox = [](QDialog* d) { d->close(); };
  const auto enter = [](QDialog* d) { QTest::keyClick(d, Qt::Key_Return); };
  // Cancellation refused: the dialog stays; the test then presses OK.
  const auto refusedThenOk = [](std::function<void(QDialog*)> attempt) {
    return [attempt](QDialog* d) {
      attempt(d);
      QTimer::singleShot(50, d, [d] {
        if (d->isVisible()) ClickOk(d);
      });
    };
  };
  const std::vector<EndCase> cases = {
      {"ok button", true, ClickOk, CTaskDialog::kIdOk},
      {"enter key presses the default button", true, enter, CTaskDialog::kIdOk},
      {"escape cancels", true, escape, CTaskDialog::kIdCancel},
      {"close box cancels", true, closeBox, CTaskDialog::kIdCancel},
      {"escape ignored without cancellation", false, refusedThenOk(escape), CTaskDialog::kIdOk},
      {"close box ignored without cancellation", false, refusedThenOk(closeBox), CTaskDialog::kIdOk},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    CTaskDialog withTexts(nullptr, u"T", u"Heading", u"Body", u"");
    CTaskDialog plain;
    CTaskDialog& dialog = c.cancellable ? withTexts : plain;
    EXPECT_EQ(RunWith(dialog, c.end), c.expected);
    EXPECT_EQ(RunningDialog(), nullptr);
  }
}

CVersionResource Resource(std::vector<LANGANDCODEPAGE> translations, std::vector<CVersionStringTable> tables) {
  return CVersionResource{std::move(translations), std::move(tables)};
}

CVersionStringTable Block(std::string name, std::string product, std::string company, std::string copyright) {
  return {std::move(name),
          {{"ProductName", product},
           {"ProductVersion", "2.5.1"},
           {"CompanyName", company},
           {"FileDescription", "Watches radios"},
           {"Comments", "Made with care."},
           {"LegalCopyright", copyright}}};
}

struct AboutCase {
  const char* name;
  CVersionResource resource;
  std::u16string instruction, content, footer;
};

TEST(AboutTaskDialogTest, TextsFromTheVersionResource) {
  CVersionStringTable partial{"040904e4", {{"ProductName", "Part"}, {"CompanyName", "Co"}, {"FileDescription", "Desc"}}};
  const std::vector<AboutCase> cases = {
      {"one translation",
       Resource({{0x0409, 0x04E4}}, {Block("040904e4", "Prod", "Us", "(C) Us")}),
       u"Prod",
       u"Version 2.5.1\nBy Us\n\nWatches radios\n\nMade with care.",
       u"(C) Us"},
      {"two translations: a block each in list order, heading and footer from the last",
       Resource({{0x0407, 0x04B0}, {0x0409, 0x04E4}},
                {Block("040904e4", "Prod EN", "Us", "(C) EN"), Block("040704b0", "Prod DE", "Wir", "(C) DE")}),
       u"Prod EN",
       u"Version 2.5.1\nBy Wir\n\nWatches radios\n\nMade with care.\n\n"
       u"Version 2.5.1\nBy Us\n\nWatches radios\n\nMade with care.",
       u"(C) EN"},
      {"block name in upper case still found", Resource({{0x0409, 0x04E4}}, {Block("040904E4", "Up", "Us", "C")}), u"Up",
       u"Version 2.5.1\nBy Us\n\nWatches radios\n\nMade with care.", u"C"},
      {"missing fields leave out their lines", Resource({{0x0409, 0x04E4}}, {partial}), u"Part", u"By Co\n\nDesc", u""},
      {"translation without a string block", Resource({{0x0409, 0x04E4}}, {}), u"", u"", u""},
      {"no translation list", Resource({}, {Block("040904e4", "Prod", "Us", "C")}), u"", u"", u""},
  };
  for (const AboutCase& c : cases) {
    SCOPED_TRACE(c.name);
    CAboutTaskDialog about(nullptr, &c.resource);
    EXPECT_EQ(about.GetMainInstruction(), c.instruction);
    EXPECT_EQ(about.GetContent(), c.content);
    EXPECT_EQ(about.GetFooter(), c.footer);
  }
  CAboutTaskDialog none(nullptr, nullptr);
  EXPECT_TRUE(none.GetContent().empty() && none.GetMainInstruction().empty() && none.GetFooter().empty());
}

// The program's About box as shown, from its one translation (0x0409,
// 0x04E4) and the six fields: texts, and the layout of a desktop
// dialog (icon left of a larger bold heading, a smaller footer under a line,
// OK at the bottom right). AERLUME_ABOUT_PNG=<file> saves a picture of it.
TEST(AboutTaskDialogTest, ProgramAboutBoxLooksLikeADialog) {
  const void* buffer = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(&GetAerlumeVersionResource(), "\\VarFileInfo\\Translation", &buffer, &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(static_cast<const LANGANDCODEPAGE*>(buffer)->wLanguage, 0x0409);
  EXPECT_EQ(static_cast<const LANGANDCODEPAGE*>(buffer)->wCodePage, 0x04E4);
  CAboutTaskDialog about(nullptr);
  QString title, instruction, content, footer;
  RunWith(about, [&](QDialog* shown) {
    title = shown->windowTitle();
    instruction = Text(shown, "mainInstruction");
    content = Text(shown, "content");
    footer = Text(shown, "footer");
    auto* icon = shown->findChild<QLabel*>(QStringLiteral("mainIcon"));
    auto* heading = shown->findChild<QLabel*>(QStringLiteral("mainInstruction"));
    auto* body = shown->findChild<QLabel*>(QStringLiteral("content"));
    auto* foot = shown->findChild<QLabel*>(QStringLiteral("footer"));
    auto* line = shown->findChild<QFrame*>(QStringLiteral("footerSeparator"));
    auto* ok = shown->findChild<QPushButton*>(QStringLiteral("okButton"));
    ASSERT_TRUE(icon && heading && body && foot && line && ok);
    const QImage iconImage = shown->grab(icon->geometry()).toImage();
    const QRgb background = shown->palette().color(QPalette::Window).rgb();
    int painted = 0;
    for (int y = 0; y < iconImage.height(); ++y)
      for (int x = 0; x < iconImage.width(); ++x) painted += iconImage.pixel(x, y) != background;
    EXPECT_GT(painted, iconImage.width() * iconImage.height() / 10) << "the application icon is drawn";
    EXPECT_LT(icon->geometry().right(), heading->geometry().left());
    EXPECT_LE(std::abs(icon->geometry().top() - heading->geometry().top()), 8);
    EXPECT_GT(heading->font().pointSizeF(), body->font().pointSizeF());
    EXPECT_TRUE(heading->font().bold());
    EXPECT_LT(foot->font().pointSizeF(), body->font().pointSizeF());
    EXPECT_LT(body->geometry().bottom(), line->geometry().top());
    EXPECT_LT(line->geometry().bottom(), foot->geometry().top());
    EXPECT_LT(foot->geometry().bottom(), ok->geometry().top());
    EXPECT_GT(ok->geometry().left(), shown->width() / 2);
    EXPECT_GT(ok->geometry().bottom(), shown->height() - 30);
    const QString png = qEnvironmentVariable("AERLUME_ABOUT_PNG");
    if (!png.isEmpty()) shown->grab().save(png);
    ClickOk(shown);
  });
  EXPECT_EQ(title, QStringLiteral("Aerlume"));
  EXPECT_EQ(instruction, QStringLiteral("Aerlume"));
  EXPECT_TRUE(content.startsWith(QStringLiteral("Version " AERLUME_PRODUCT_VERSION "\nBy ")));
  // Company, description and comments each fill their line.
  const QStringList lines = content.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 6) << content.toStdString();
  EXPECT_GT(lines[1].size(), 3);
  EXPECT_TRUE(lines[2].isEmpty() && !lines[3].isEmpty() && lines[4].isEmpty() && !lines[5].isEmpty())
      << content.toStdString();
  EXPECT_TRUE(footer.startsWith(QStringLiteral("Copyright")));
}

class AboutCommandTest : public MainFrameTest {};

TEST_F(AboutCommandTest, HelpAboutShowsTheAboutBoxOverTheMainWindow) {
  std::unique_ptr<CMainFrame> frame = MakeFrame();
  QWidget* parent = nullptr;
  QString instruction;
  Drive(
      [&] {
        frame->GetCommand(CMD_ABOUT)->trigger();
        return 0;
      },
      [&](QDialog* shown) {
        parent = shown->parentWidget();
        instruction = Text(shown, "mainInstruction");
        ClickOk(shown);
      });
  EXPECT_EQ(parent, frame.get());
  EXPECT_EQ(instruction, QStringLiteral("Aerlume"));
  EXPECT_EQ(RunningDialog(), nullptr);
}

}  // namespace
