#include "app/command_line.h"

#include "about/version.h"

namespace tarvex {

CommandLine parse_command_line(const QStringList& arguments) {
  CommandLine line;
  bool names_only = false;
  for (const QString& argument : arguments) {
    if (!names_only && argument.startsWith(u'-')) {
      if (argument == u"--") {
        names_only = true;
        continue;
      }
      if (argument == u"-h" || argument == u"--help") return {CommandLine::Action::Help, {}, {}};
      if (argument == u"--version") return {CommandLine::Action::Version, {}, {}};
      return {CommandLine::Action::Error,
              {},
              QStringLiteral("tarvex: 不明なオプションです: ") + argument};
    }
    if (!line.target.isEmpty()) {
      return {CommandLine::Action::Error,
              {},
              QStringLiteral("tarvex: ファイルかフォルダは一つだけ指定できます: ") + argument};
    }
    line.target = argument;
  }
  return line;
}

QString usage_text() {
  return QStringLiteral(
             "使い方: tarvex [オプション] [ファイル|フォルダ]\n"
             "\n"
             "ファイルを指定すると、そのフォルダを開いてファイルを表示し、登録リストに登録します。"
             "\n"
             "フォルダを指定すると、そのフォルダを開いて起動します。"
             "指定がなければ作業フォルダを開きます。\n"
             "\n"
             "オプション:\n"
             "  -h, --help   この使い方を表示して終わります。\n"
             "  --version    バージョン（") +
         kVersionTitle +
         QStringLiteral(
             "）を表示して終わります。\n"
             "  --           これより後の引数はすべてファイル名です（- で始まる名前のとき）。\n"
             "\n"
             "終了コード: 0 正常、1 画面（ディスプレイ）がない、2 コマンドラインの誤り。\n");
}

QString no_display_text() {
  return QStringLiteral(
      "tarvex: 画面（ディスプレイ）が見つかりません（DISPLAY が設定されていません）。"
      "画面のない所で試すには xvfb-run の下で起動してください（例: xvfb-run -a tarvex）。\n");
}

}  // namespace tarvex
