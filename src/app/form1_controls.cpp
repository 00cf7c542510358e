#include "app/main_window.h"

#include "app/form3.h"
#include "browse/file_box.h"
#include "browse/folder_tree.h"
#include "display/image_pane.h"
#include "display/text_pane.h"
#include "pictures/picture_prefetch.h"
#include "platform/accessible_value.h"
#include "platform/classic_timer.h"
#include "platform/fonts.h"
#include "platform/job_runner.h"
#include "platform/row_tips.h"
#include "platform/trash.h"
#include "platform/widget_twips.h"
#include "search/form4.h"
#include "settings/form2.h"
#include "slideshow/arrow_icons.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace tarvex {

namespace {

// Raises a watched control above its siblings each time it is shown.
class RaiseWhenShown final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* w = qobject_cast<QWidget*>(watched)) w->raise();
    }
    return false;
  }
};

template <typename W>
W* named(W* w, const QString& name) {
  w->setObjectName(name);
  return w;
}

}  // namespace

Form1::Form1(const Platform& platform, QWidget* parent)
    : QMainWindow(parent),
      platform_(platform),
      settings_(platform.settings_folder),
      jobs_(std::make_unique<JobRunner>()) {
  setObjectName(QStringLiteral("Form1"));
  popup_menu = [](QMenu* menu, const QPoint& global_pos) { menu->exec(global_pos); };
  create_controls();
  create_menus();
  connect_events();
  Form_Load();
}

Form1::~Form1() = default;

MsgAnswer Form1::msgbox(const QString& text, MsgButtons buttons) {
  // A modal box runs a nested event loop in which the timers keep firing; the depth lets ticks
  // and steps wait for the answer.
  // The find-next panel stays above every window, and a box opens where it stands: it steps
  // back behind the box, and comes to the front again if it is still shown afterwards.
  Form4* panel = form4();
  const bool step_back =
      panel && panel->isVisible() && panel->dialog_mode == Form4::DialogMode::FindNext;
  if (step_back) panel->set_topmost(false);
  ++message_depth_;
  const MsgAnswer answer = platform_.messages->msgbox(text, buttons);
  --message_depth_;
  if (step_back && panel->isVisible()) panel->set_topmost(true);
  return answer;
}

void Form1::create_controls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);
  const QFont pgothic = design_font(kFontPGothic);

  Txt_List = named(new QListWidget(client), QStringLiteral("Txt_List"));
  Img_List = named(new QListWidget(client), QStringLiteral("Img_List"));
  Text1 = named(new QLineEdit(client), QStringLiteral("Text1"));
  Text1->setFont(pgothic);
  set_twips_geometry(Text1, 1395, 0, 430, 330);
  // The two text panes show their texts in the design font too, so that Latin letters, kana and
  // kanji come from one Japanese face rather than from whichever font has each script.
  RichTextBox2 = named(new TextPane(client), QStringLiteral("RichTextBox2"));
  RichTextBox2->setFont(pgothic);
  set_twips_geometry(RichTextBox2, 600, 120, 6375, 5215);
  for (int i = 0; i < 2; ++i) {
    Command6[i] = named(new QPushButton(client), indexed_name("Command6", i));
    Command6[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Up : ArrowDirection::Down));
    set_twips_geometry(Command6[i], 0, 0, 615, 350);
  }
  List1 = named(new QListWidget(client), QStringLiteral("List1"));
  set_twips_geometry(List1, 600, 0, 6375, 780);
  for (int i = 0; i < 2; ++i) {
    Command3[i] = named(new QPushButton(client), indexed_name("Command3", i));
    Command3[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Left : ArrowDirection::Right));
    Command3[i]->setFont(pgothic);
    set_twips_geometry(Command3[i], 0, 0, 615, 350);
  }
  for (int i = 0; i < 2; ++i) {
    Command1[i] = named(new QPushButton(client), indexed_name("Command1", i));
    show_pause_state(i, false);
    set_twips_geometry(Command1[i], 0, 0, 495, 350);
  }
  連続テキスト = named(new ClassicTimer(this), QStringLiteral("連続テキスト"));
  for (int i = 0; i < 2; ++i) {
    Check1[i] = named(new QCheckBox(client), indexed_name("Check1", i));
    // The box is never cut: the style's box may be taller than the design's 195 twips (13 px),
    // and the layout's geometry then keeps the box's height.
    QStyleOptionButton option;
    option.initFrom(Check1[i]);
    Check1[i]->setMinimumHeight(
        Check1[i]
            ->style()
            ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, Check1[i])
            .height());
    set_twips_geometry(Check1[i], 0, 0, 255, 195);
  }
  // The text row's box has its own caption, cut off by its width; the row's label shows instead.
  Check1[1]->setText(QStringLiteral("ﾃｷｽﾄを連続的表示"));
  for (int i = 0; i < 2; ++i) {
    Command2[i] = named(new QPushButton(client), indexed_name("Command2", i));
    Command2[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Left : ArrowDirection::Right));
    Command2[i]->setFont(pgothic);
    set_twips_geometry(Command2[i], 0, 0, 615, 350);
  }
  for (QPushButton* b :
       {Command6[0], Command6[1], Command3[0], Command3[1], Command2[0], Command2[1]}) {
    b->setIconSize(QSize(16, 16));
  }
  ロード終了表示 = named(new ClassicTimer(this), QStringLiteral("ロード終了表示"));
  ロード終了表示->set_interval(10);
  ロード終了表示->set_enabled(false);
  RichTextBox1 = named(new TextPane(client), QStringLiteral("RichTextBox1"));
  RichTextBox1->setFont(pgothic);
  set_twips_geometry(RichTextBox1, 2640, 120, 6375, 5215);
  連続画像 = named(new ClassicTimer(this), QStringLiteral("連続画像"));
  File1 = named(new FileBox(client), QStringLiteral("File1"));
  set_twips_geometry(File1, 360, 2640, 2175, 2275);
  SHTree1 = named(new FolderTree(client), QStringLiteral("SHTree1"));
  set_twips_geometry(SHTree1, 360, 120, 2175, 2415);
  Label6 = named(new QLabel(client), QStringLiteral("Label6"));
  set_twips_geometry(Label6, 1810, 0, 620, 330);
  const char* label5_texts[] = {"画像を連続表示", "ﾃｷｽﾄを連続表示"};
  const int label5_widths[] = {1815, 1935};
  for (int i = 0; i < 2; ++i) {
    Label5[i] =
        named(new QLabel(QString::fromUtf8(label5_texts[i]), client), indexed_name("Label5", i));
    set_twips_geometry(Label5[i], 0, 0, label5_widths[i], 255);
  }
  for (int i = 0; i < 3; ++i) {
    Label4[i] = named(new QLabel(client), indexed_name("Label4", i));
    Label4[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4[i]->setTextFormat(Qt::PlainText);
    set_twips_geometry(Label4[i], 1400, 0, 4335, i == 2 ? 855 : 255);
  }
  Label3 = named(new QLabel(QStringLiteral("表示ﾌｧｲﾙ"), client), QStringLiteral("Label3"));
  set_twips_geometry(Label3, 360, 0, 1095, 255);
  Label2 = named(new QLabel(QStringLiteral("表示NO."), client), QStringLiteral("Label2"));
  set_twips_geometry(Label2, 360, 0, 1095, 330);
  Image1 = named(new ImagePane(client), QStringLiteral("Image1"));
  set_twips_geometry(Image1, 2640, 120, 0, 0);

  // Later controls are drawn above earlier ones, as in the design's creation order; the panes
  // sit below the lists that share their place. A control that appears in a place it shares with
  // others (the register lists over the folder tree and the file box, the search view over the
  // text pane, the hit list) comes to the top whenever it is shown.
  for (QWidget* w : std::initializer_list<QWidget*>{Image1, RichTextBox1, RichTextBox2}) w->lower();
  auto* raiser = new RaiseWhenShown(this);
  for (QWidget* w : std::initializer_list<QWidget*>{Img_List, Txt_List, RichTextBox2, List1}) {
    w->installEventFilter(raiser);
  }
  set_accessible_names();
  // A name cut off at the list's edge can still be read whole: the row shows it as a tooltip (a
  // register list's row shows its entry's path).
  for (QAbstractItemView* view :
       std::initializer_list<QAbstractItemView*>{File1, Img_List, Txt_List, List1}) {
    show_cut_rows_whole(view);
  }

  // The pause buttons and the search screen's controls start hidden; the arrows appear once their
  // register holds an entry.
  for (QWidget* w :
       std::initializer_list<QWidget*>{Command1[0], Command1[1], Command6[0], Command6[1], List1,
                                       Command2[0], Command2[1], Command3[0], Command3[1]}) {
    w->hide();
  }
}

// Names a screen reader (or any assistive tool) announces, so that controls of the same kind can be
// told apart.
void Form1::set_accessible_names() {
  // clang-format off
  const std::initializer_list<std::pair<QWidget*, const char*>> names = {
      {Txt_List, "登録テキストの一覧"},       {Img_List, "登録画像の一覧"},
      {Text1, "表示番号"},                    {RichTextBox2, "検索用のテキスト表示"},
      {Command6[0], "前の検索結果"},          {Command6[1], "次の検索結果"},
      {List1, "検索結果の一覧"},
      {Command3[0], "前のテキスト"},          {Command3[1], "次のテキスト"},
      {Command1[0], "画像の連続表示の一時停止"}, {Command1[1], "テキストの連続表示の一時停止"},
      {Check1[0], "画像を連続表示"},          {Check1[1], "テキストを連続表示"},
      {Command2[0], "前の画像"},              {Command2[1], "次の画像"},
      {RichTextBox1, "テキスト表示"},         {File1, "ファイルボックス"},
      {SHTree1, "フォルダツリー"},            {Image1, "画像表示"},
  };
  // clang-format on
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromUtf8(name));
  // The labels that show a value are heard with it: the count and the pieces of the path.
  expose_label_value(Label6, QStringLiteral("登録数"));
  for (int i = 0; i < 3; ++i) {
    expose_label_value(Label4[i], QStringLiteral("表示ファイル（%1）").arg(i + 1));
  }
}

void Form1::create_menus() {
  QMenuBar* bar = menuBar();
  auto menu = [this](const QString& name, const QString& caption) {
    auto* m = new QMenu(caption, this);
    m->setObjectName(name);
    return m;
  };
  auto item = [this](QMenu* m, const QString& name, const QString& caption) {
    QAction* a = m->addAction(caption);
    a->setObjectName(name);
    return a;
  };
  auto separator = [](QMenu* m, const QString& name) {
    QAction* a = m->addSeparator();
    a->setObjectName(name);
    return a;
  };

  hyouji = menu(QStringLiteral("hyouji"), QStringLiteral("イメージ(&I)"));
  img_all_load =
      item(hyouji, QStringLiteral("img_all_load"), QStringLiteral("イメージの一括登録(&I)"));
  img_all_clear =
      item(hyouji, QStringLiteral("img_all_clear"), QStringLiteral("登録したｲﾒｰｼﾞの全消去(&E)"));
  区分線2 = separator(hyouji, QStringLiteral("区分線2"));
  画像のコピー = item(hyouji, QStringLiteral("画像のコピー"), QStringLiteral("コピー(&C)"));
  image_登録から削除 =
      item(hyouji, QStringLiteral("image_登録から削除"), QStringLiteral("登録から削除(&D)"));
  区分線1 = separator(hyouji, QStringLiteral("区分線1"));
  image_ファイル削除 =
      item(hyouji, QStringLiteral("image_ファイル削除"), QStringLiteral("ファイルの削除(&X)"));
  区分線13 = separator(hyouji, QStringLiteral("区分線13"));
  img_file_open =
      item(hyouji, QStringLiteral("img_file_open"), QStringLiteral("ファイルを開く(&O)"));

  t_hyouji = menu(QStringLiteral("t_hyouji"), QStringLiteral("テキスト(&T)"));
  txt_all_load =
      item(t_hyouji, QStringLiteral("txt_all_load"), QStringLiteral("テキストの一括登録(&I)"));
  txt_all_clear =
      item(t_hyouji, QStringLiteral("txt_all_clear"), QStringLiteral("登録したﾃｷｽﾄの全消去(&E)"));
  区分線4 = separator(t_hyouji, QStringLiteral("区分線4"));
  txt_kensaku = item(t_hyouji, QStringLiteral("txt_kensaku"), QStringLiteral("文字列検索(&S)"));
  文字列検索の終了 =
      item(t_hyouji, QStringLiteral("文字列検索の終了"), QStringLiteral("文字列検索の終了(&Z)"));
  区分線5 = separator(t_hyouji, QStringLiteral("区分線5"));
  コピー = item(t_hyouji, QStringLiteral("コピー"), QStringLiteral("コピー(&C)"));
  text_登録から削除 =
      item(t_hyouji, QStringLiteral("text_登録から削除"), QStringLiteral("登録から削除(&D)"));
  区分線6 = separator(t_hyouji, QStringLiteral("区分線6"));
  text_ファイル削除 =
      item(t_hyouji, QStringLiteral("text_ファイル削除"), QStringLiteral("ファイルの削除(&X)"));
  区分線3 = separator(t_hyouji, QStringLiteral("区分線3"));
  txt_file_open =
      item(t_hyouji, QStringLiteral("txt_file_open"), QStringLiteral("ファイルを開く(&O)"));

  表示 = menu(QStringLiteral("表示"), QStringLiteral("表示(&V)"));
  now_refresh =
      item(表示, QStringLiteral("now_refresh"), QStringLiteral("ファイルボックスの更新(&N)"));
  区分線12 = separator(表示, QStringLiteral("区分線12"));
  登録ファイル名表示 =
      item(表示, QStringLiteral("登録ファイル名表示"), QStringLiteral("登録ファイル名表示"));
  登録ファイル名表示->setCheckable(true);
  区分線8 = separator(表示, QStringLiteral("区分線8"));
  最大画面表示 =
      item(表示, QStringLiteral("最大画面表示"), QStringLiteral("画像の最大画面表示(&M)"));
  最大画面表示->setCheckable(true);

  環境設定 = menu(QStringLiteral("環境設定"), QStringLiteral("環境設定(&P)"));
  環境設定表示 = item(環境設定, QStringLiteral("環境設定表示"), QStringLiteral("環境設定"));

  ヘルプ = menu(QStringLiteral("ヘルプ"), QStringLiteral("ヘルプ(&H)"));
  Tarvexのヘルプ =
      item(ヘルプ, QStringLiteral("Tarvexのヘルプ"), QStringLiteral("Tarvexのヘルプ(&H)"));
  区分線7 = separator(ヘルプ, QStringLiteral("区分線7"));
  バージョン情報 =
      item(ヘルプ, QStringLiteral("バージョン情報"), QStringLiteral("バージョン情報(&A)"));
  区分線9 = separator(ヘルプ, QStringLiteral("区分線9"));
  終了 = item(ヘルプ, QStringLiteral("終了"), QStringLiteral("Tarvexの終了(&X)"));

  // The menu "ファイル" exists only as the file box's and the hit list's pop-up menu.
  file = menu(QStringLiteral("file"), QStringLiteral("ファイル"));
  list_file_open =
      item(file, QStringLiteral("list_file_open"), QStringLiteral("ファイルを開く(&O)"));

  for (QMenu* m : {hyouji, t_hyouji, 表示, 環境設定, ヘルプ}) bar->addMenu(m);
}

void Form1::connect_events() {
  connect(終了, &QAction::triggered, this, [this] { 終了_Click(); });

  // Display.
  connect(コピー, &QAction::triggered, this, [this] { コピー_Click(); });
  connect(画像のコピー, &QAction::triggered, this, [this] { 画像のコピー_Click(); });
  connect(最大画面表示, &QAction::triggered, this, [this] { 最大画面表示_Click(); });
  connect(RichTextBox1, &TextPane::mouseReleased, this,
          [this](Qt::MouseButton b, const QPoint& at) { RichTextBox1_MouseUp(b, at); });
  connect(RichTextBox2, &TextPane::focusGained, this, [this] { RichTextBox2_GotFocus(); });
  for (TextPane* pane : {RichTextBox1, RichTextBox2}) {
    connect(pane, &TextPane::copyRefused, this, [this] { text_copy_refused(); });
  }
  connect(Image1, &ImagePane::mouseReleased, this,
          [this](Qt::MouseButton b, const QPoint& at) { Image1_MouseUp(b, at); });
  // Only this window's file box may ask the panes to show its selected file.
  RichTextBox1->set_file_box_token(File1->drag_token());
  Image1->set_file_box_token(File1->drag_token());
  for (TextPane* pane : {RichTextBox1}) {
    connect(pane, &TextPane::fileBoxDropped, this, [this] { pane_file_box_drop(); });
    connect(pane, &TextPane::filesDropped, this,
            [this](const QStringList& files) { pane_files_drop(files); });
  }
  connect(Image1, &ImagePane::fileBoxDropped, this, [this] { pane_file_box_drop(); });
  connect(Image1, &ImagePane::filesDropped, this,
          [this](const QStringList& files) { pane_files_drop(files); });

  // Browsing.
  connect(SHTree1, &FolderTree::folderSelected, this, [this] { SHTree1_Change(); });
  connect(File1, &FileBox::attributesChanged, this,
          [this] { SHTree1->set_show_hidden(File1->attributes().hidden); });
  connect(File1, &QListView::doubleClicked, this, [this] { File1_DblClick(); });
  connect(File1, &FileBox::enterPressed, this, [this] { File1_DblClick(); });
  connect(File1, &FileBox::mouseReleased, this,
          [this](Qt::MouseButton b, const QPoint& at) { File1_MouseUp(b, at); });
  connect(now_refresh, &QAction::triggered, this, [this] { now_refresh_Click(); });
  for (QAction* a : {list_file_open, txt_file_open, img_file_open}) {
    connect(a, &QAction::triggered, this, [this] { file_open(); });
  }

  // Selection, navigation, removal and deletion.
  connect_selection_events();
  connect_navigation_events();
  connect_removing_events();
  // Bulk registration, clearing and the notice timer.
  connect_bulk_events();
  // Options, About and help.
  connect(環境設定表示, &QAction::triggered, this, [this] { 環境設定表示_Click(); });
  connect(バージョン情報, &QAction::triggered, this, [this] { バージョン情報_Click(); });
  connect(Tarvexのヘルプ, &QAction::triggered, this, [this] { Tarvexのヘルプ_Click(); });
  // Search.
  connect_search_events();
}

}  // namespace tarvex
