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

int Form1::msgbox(const QString& text, MsgButtons buttons) {
  // A modal box runs a nested event loop in which the timers keep firing; the depth lets ticks
  // and steps wait for the answer.
  // The find-next panel stays above every window, and a box opens where it stands: it steps
  // back behind the box, and comes to the front again if it is still shown afterwards.
  Form4* panel = form4();
  const bool step_back = panel && panel->isVisible() && panel->dialog_mode == 2;
  if (step_back) panel->set_topmost(false);
  ++message_depth_;
  const int answer = platform_.messages->msgbox(text, buttons);
  --message_depth_;
  if (step_back && panel->isVisible()) panel->set_topmost(true);
  return answer;
}

void Form1::create_controls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);
  const QFont pgothic = design_font(kFontPGothic);

  text_list = named(new QListWidget(client), QStringLiteral("Txt_List"));
  image_list = named(new QListWidget(client), QStringLiteral("Img_List"));
  number_box = named(new QLineEdit(client), QStringLiteral("Text1"));
  number_box->setFont(pgothic);
  set_twips_geometry(number_box, 1395, 0, 430, 330);
  // The two text panes show their texts in the design font too, so that Latin letters, kana and
  // kanji come from one Japanese face rather than from whichever font has each script.
  result_view = named(new TextPane(client), QStringLiteral("RichTextBox2"));
  result_view->setFont(pgothic);
  set_twips_geometry(result_view, 600, 120, 6375, 5215);
  for (int i = 0; i < 2; ++i) {
    hit_arrows[i] = named(new QPushButton(client), indexed_name("Command6", i));
    hit_arrows[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Up : ArrowDirection::Down));
    set_twips_geometry(hit_arrows[i], 0, 0, 615, 350);
  }
  hit_list = named(new QListWidget(client), QStringLiteral("List1"));
  set_twips_geometry(hit_list, 600, 0, 6375, 780);
  for (int i = 0; i < 2; ++i) {
    text_arrows[i] = named(new QPushButton(client), indexed_name("Command3", i));
    text_arrows[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Left : ArrowDirection::Right));
    text_arrows[i]->setFont(pgothic);
    set_twips_geometry(text_arrows[i], 0, 0, 615, 350);
  }
  for (int i = 0; i < 2; ++i) {
    pause_buttons[i] = named(new QPushButton(client), indexed_name("Command1", i));
    show_pause_state(i, false);
    set_twips_geometry(pause_buttons[i], 0, 0, 495, 350);
  }
  text_timer = named(new ClassicTimer(this), QStringLiteral("連続テキスト"));
  for (int i = 0; i < 2; ++i) {
    continuous_checks[i] = named(new QCheckBox(client), indexed_name("Check1", i));
    // The box is never cut: the style's box may be taller than the design's 195 twips (13 px),
    // and the layout's geometry then keeps the box's height.
    QStyleOptionButton option;
    option.initFrom(continuous_checks[i]);
    continuous_checks[i]->setMinimumHeight(
        continuous_checks[i]
            ->style()
            ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, continuous_checks[i])
            .height());
    set_twips_geometry(continuous_checks[i], 0, 0, 255, 195);
  }
  // The text row's box has its own caption, cut off by its width; the row's label shows instead.
  continuous_checks[1]->setText(QStringLiteral("ﾃｷｽﾄを連続的表示"));
  for (int i = 0; i < 2; ++i) {
    image_arrows[i] = named(new QPushButton(client), indexed_name("Command2", i));
    image_arrows[i]->setIcon(arrow_icon(i == 0 ? ArrowDirection::Left : ArrowDirection::Right));
    image_arrows[i]->setFont(pgothic);
    set_twips_geometry(image_arrows[i], 0, 0, 615, 350);
  }
  for (QPushButton* b : {hit_arrows[0], hit_arrows[1], text_arrows[0], text_arrows[1],
                         image_arrows[0], image_arrows[1]}) {
    b->setIconSize(QSize(16, 16));
  }
  notice_timer = named(new ClassicTimer(this), QStringLiteral("ロード終了表示"));
  notice_timer->set_interval(10);
  notice_timer->set_enabled(false);
  text_pane = named(new TextPane(client), QStringLiteral("RichTextBox1"));
  text_pane->setFont(pgothic);
  set_twips_geometry(text_pane, 2640, 120, 6375, 5215);
  image_timer = named(new ClassicTimer(this), QStringLiteral("連続画像"));
  file_box = named(new FileBox(client), QStringLiteral("File1"));
  set_twips_geometry(file_box, 360, 2640, 2175, 2275);
  folder_tree = named(new FolderTree(client), QStringLiteral("SHTree1"));
  set_twips_geometry(folder_tree, 360, 120, 2175, 2415);
  count_label = named(new QLabel(client), QStringLiteral("Label6"));
  set_twips_geometry(count_label, 1810, 0, 620, 330);
  const char* label5_texts[] = {"画像を連続表示", "ﾃｷｽﾄを連続表示"};
  const int label5_widths[] = {1815, 1935};
  for (int i = 0; i < 2; ++i) {
    continuous_labels[i] =
        named(new QLabel(QString::fromUtf8(label5_texts[i]), client), indexed_name("Label5", i));
    set_twips_geometry(continuous_labels[i], 0, 0, label5_widths[i], 255);
  }
  for (int i = 0; i < 3; ++i) {
    path_labels[i] = named(new QLabel(client), indexed_name("Label4", i));
    path_labels[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    path_labels[i]->setTextFormat(Qt::PlainText);
    set_twips_geometry(path_labels[i], 1400, 0, 4335, i == 2 ? 855 : 255);
  }
  path_caption = named(new QLabel(QStringLiteral("表示ﾌｧｲﾙ"), client), QStringLiteral("Label3"));
  set_twips_geometry(path_caption, 360, 0, 1095, 255);
  number_caption = named(new QLabel(QStringLiteral("表示NO."), client), QStringLiteral("Label2"));
  set_twips_geometry(number_caption, 360, 0, 1095, 330);
  image_pane = named(new ImagePane(client), QStringLiteral("Image1"));
  set_twips_geometry(image_pane, 2640, 120, 0, 0);

  // Later controls are drawn above earlier ones, as in the design's creation order; the panes
  // sit below the lists that share their place. A control that appears in a place it shares with
  // others (the register lists over the folder tree and the file box, the search view over the
  // text pane, the hit list) comes to the top whenever it is shown.
  for (QWidget* w : std::initializer_list<QWidget*>{image_pane, text_pane, result_view}) w->lower();
  auto* raiser = new RaiseWhenShown(this);
  for (QWidget* w : std::initializer_list<QWidget*>{image_list, text_list, result_view, hit_list}) {
    w->installEventFilter(raiser);
  }
  set_accessible_names();
  // A name cut off at the list's edge can still be read whole: the row shows it as a tooltip (a
  // register list's row shows its entry's path).
  for (QAbstractItemView* view :
       std::initializer_list<QAbstractItemView*>{file_box, image_list, text_list, hit_list}) {
    show_cut_rows_whole(view);
  }

  // The pause buttons and the search screen's controls start hidden; the arrows appear once their
  // register holds an entry.
  for (QWidget* w : std::initializer_list<QWidget*>{
           pause_buttons[0], pause_buttons[1], hit_arrows[0], hit_arrows[1], hit_list,
           image_arrows[0], image_arrows[1], text_arrows[0], text_arrows[1]}) {
    w->hide();
  }
}

// Names a screen reader (or any assistive tool) announces, so that controls of the same kind can be
// told apart.
void Form1::set_accessible_names() {
  // clang-format off
  const std::initializer_list<std::pair<QWidget*, const char*>> names = {
      {text_list, "登録テキストの一覧"},       {image_list, "登録画像の一覧"},
      {number_box, "表示番号"},                    {result_view, "検索用のテキスト表示"},
      {hit_arrows[0], "前の検索結果"},          {hit_arrows[1], "次の検索結果"},
      {hit_list, "検索結果の一覧"},
      {text_arrows[0], "前のテキスト"},          {text_arrows[1], "次のテキスト"},
      {pause_buttons[0], "画像の連続表示の一時停止"}, {pause_buttons[1], "テキストの連続表示の一時停止"},
      {continuous_checks[0], "画像を連続表示"},          {continuous_checks[1], "テキストを連続表示"},
      {image_arrows[0], "前の画像"},              {image_arrows[1], "次の画像"},
      {text_pane, "テキスト表示"},         {file_box, "ファイルボックス"},
      {folder_tree, "フォルダツリー"},            {image_pane, "画像表示"},
  };
  // clang-format on
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromUtf8(name));
  // The labels that show a value are heard with it: the count and the pieces of the path.
  expose_label_value(count_label, QStringLiteral("登録数"));
  for (int i = 0; i < 3; ++i) {
    expose_label_value(path_labels[i], QStringLiteral("表示ファイル（%1）").arg(i + 1));
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

  image_menu = menu(QStringLiteral("hyouji"), QStringLiteral("イメージ(&I)"));
  img_all_load =
      item(image_menu, QStringLiteral("img_all_load"), QStringLiteral("イメージの一括登録(&I)"));
  img_all_clear = item(image_menu, QStringLiteral("img_all_clear"),
                       QStringLiteral("登録したｲﾒｰｼﾞの全消去(&E)"));
  区分線2 = separator(image_menu, QStringLiteral("区分線2"));
  画像のコピー = item(image_menu, QStringLiteral("画像のコピー"), QStringLiteral("コピー(&C)"));
  image_登録から削除 =
      item(image_menu, QStringLiteral("image_登録から削除"), QStringLiteral("登録から削除(&D)"));
  区分線1 = separator(image_menu, QStringLiteral("区分線1"));
  image_ファイル削除 =
      item(image_menu, QStringLiteral("image_ファイル削除"), QStringLiteral("ファイルの削除(&X)"));
  区分線13 = separator(image_menu, QStringLiteral("区分線13"));
  img_file_open =
      item(image_menu, QStringLiteral("img_file_open"), QStringLiteral("ファイルを開く(&O)"));

  text_menu = menu(QStringLiteral("t_hyouji"), QStringLiteral("テキスト(&T)"));
  txt_all_load =
      item(text_menu, QStringLiteral("txt_all_load"), QStringLiteral("テキストの一括登録(&I)"));
  txt_all_clear =
      item(text_menu, QStringLiteral("txt_all_clear"), QStringLiteral("登録したﾃｷｽﾄの全消去(&E)"));
  区分線4 = separator(text_menu, QStringLiteral("区分線4"));
  txt_kensaku = item(text_menu, QStringLiteral("txt_kensaku"), QStringLiteral("文字列検索(&S)"));
  文字列検索の終了 =
      item(text_menu, QStringLiteral("文字列検索の終了"), QStringLiteral("文字列検索の終了(&Z)"));
  区分線5 = separator(text_menu, QStringLiteral("区分線5"));
  コピー = item(text_menu, QStringLiteral("コピー"), QStringLiteral("コピー(&C)"));
  text_登録から削除 =
      item(text_menu, QStringLiteral("text_登録から削除"), QStringLiteral("登録から削除(&D)"));
  区分線6 = separator(text_menu, QStringLiteral("区分線6"));
  text_ファイル削除 =
      item(text_menu, QStringLiteral("text_ファイル削除"), QStringLiteral("ファイルの削除(&X)"));
  区分線3 = separator(text_menu, QStringLiteral("区分線3"));
  txt_file_open =
      item(text_menu, QStringLiteral("txt_file_open"), QStringLiteral("ファイルを開く(&O)"));

  view_menu = menu(QStringLiteral("表示"), QStringLiteral("表示(&V)"));
  now_refresh =
      item(view_menu, QStringLiteral("now_refresh"), QStringLiteral("ファイルボックスの更新(&N)"));
  区分線12 = separator(view_menu, QStringLiteral("区分線12"));
  登録ファイル名表示 =
      item(view_menu, QStringLiteral("登録ファイル名表示"), QStringLiteral("登録ファイル名表示"));
  登録ファイル名表示->setCheckable(true);
  区分線8 = separator(view_menu, QStringLiteral("区分線8"));
  最大画面表示 =
      item(view_menu, QStringLiteral("最大画面表示"), QStringLiteral("画像の最大画面表示(&M)"));
  最大画面表示->setCheckable(true);

  options_menu = menu(QStringLiteral("環境設定"), QStringLiteral("環境設定(&P)"));
  環境設定表示 = item(options_menu, QStringLiteral("環境設定表示"), QStringLiteral("環境設定"));

  help_menu = menu(QStringLiteral("ヘルプ"), QStringLiteral("ヘルプ(&H)"));
  Tarvexのヘルプ =
      item(help_menu, QStringLiteral("Tarvexのヘルプ"), QStringLiteral("Tarvexのヘルプ(&H)"));
  区分線7 = separator(help_menu, QStringLiteral("区分線7"));
  バージョン情報 =
      item(help_menu, QStringLiteral("バージョン情報"), QStringLiteral("バージョン情報(&A)"));
  区分線9 = separator(help_menu, QStringLiteral("区分線9"));
  終了 = item(help_menu, QStringLiteral("終了"), QStringLiteral("Tarvexの終了(&X)"));

  // The menu "ファイル" exists only as the file box's and the hit list's pop-up menu.
  file_menu = menu(QStringLiteral("file"), QStringLiteral("ファイル"));
  list_file_open =
      item(file_menu, QStringLiteral("list_file_open"), QStringLiteral("ファイルを開く(&O)"));

  for (QMenu* m : {image_menu, text_menu, view_menu, options_menu, help_menu}) bar->addMenu(m);
}

void Form1::connect_events() {
  connect(終了, &QAction::triggered, this, [this] { 終了_Click(); });

  // Display.
  connect(コピー, &QAction::triggered, this, [this] { コピー_Click(); });
  connect(画像のコピー, &QAction::triggered, this, [this] { 画像のコピー_Click(); });
  connect(最大画面表示, &QAction::triggered, this, [this] { 最大画面表示_Click(); });
  connect(text_pane, &TextPane::mouseReleased, this,
          [this](Qt::MouseButton b, const QPoint& at) { RichTextBox1_MouseUp(b, at); });
  connect(result_view, &TextPane::focusGained, this, [this] { RichTextBox2_GotFocus(); });
  for (TextPane* pane : {text_pane, result_view}) {
    connect(pane, &TextPane::copyRefused, this, [this] { text_copy_refused(); });
  }
  connect(image_pane, &ImagePane::mouseReleased, this,
          [this](Qt::MouseButton b, const QPoint& at) { Image1_MouseUp(b, at); });
  // Only this window's file box may ask the panes to show its selected file.
  text_pane->set_file_box_token(file_box->drag_token());
  image_pane->set_file_box_token(file_box->drag_token());
  for (TextPane* pane : {text_pane}) {
    connect(pane, &TextPane::fileBoxDropped, this, [this] { pane_file_box_drop(); });
    connect(pane, &TextPane::filesDropped, this,
            [this](const QStringList& files) { pane_files_drop(files); });
  }
  connect(image_pane, &ImagePane::fileBoxDropped, this, [this] { pane_file_box_drop(); });
  connect(image_pane, &ImagePane::filesDropped, this,
          [this](const QStringList& files) { pane_files_drop(files); });

  // Browsing.
  connect(folder_tree, &FolderTree::folderSelected, this, [this] { SHTree1_Change(); });
  connect(file_box, &FileBox::attributesChanged, this,
          [this] { folder_tree->set_show_hidden(file_box->attributes().hidden); });
  connect(file_box, &QListView::doubleClicked, this, [this] { File1_DblClick(); });
  connect(file_box, &FileBox::enterPressed, this, [this] { File1_DblClick(); });
  connect(file_box, &FileBox::mouseReleased, this,
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
