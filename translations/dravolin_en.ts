<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>dravolin::shell::AuthorWindow</name>
    <message>
        <source>共有用ファイルを作る...</source>
        <translation>Make a File to Share...</translation>
    </message>
    <message>
        <source>共有用ファイルを作る</source>
        <translation>Make a File to Share</translation>
    </message>
    <message>
        <source>路線パッケージ (*.dravolin)</source>
        <translation>Line packages (*.dravolin)</translation>
    </message>
    <message>
        <source>共有用ファイルを作りました: %1</source>
        <translation>Made the file to share: %1</translation>
    </message>
    <message>
        <source>%1%2 秒</source>
        <translation>%1%2 s</translation>
    </message>
    <message>
        <source>%1%2日 %3:%4:%5</source>
        <translation>%1%2 d %3:%4:%5</translation>
    </message>
    <message>
        <source>フォルダ (*)</source>
        <translation>Folders (*)</translation>
    </message>
    <message>
        <source>場所</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>フォルダ名</source>
        <translation>Folder name</translation>
    </message>
    <message>
        <source>種類</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>書き出す</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>中止しています</source>
        <translation>Stopping</translation>
    </message>
    <message>
        <source>中止しました</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>カメラの時計で動画の始まり %1</source>
        <translation>The video begins at %1 by the camera&apos;s clock</translation>
    </message>
    <message>
        <source>動画の始まり: GPS の時刻で %1 UTC</source>
        <translation>The video begins at %1 UTC by the GPS clock</translation>
    </message>
    <message>
        <source>（%1 %2）</source>
        <translation> (%1 %2)</translation>
    </message>
    <message>
        <source>、カメラの時計で %1（時刻のずれ %2）</source>
        <translation>, %1 by the camera&apos;s clock (off by %2)</translation>
    </message>
    <message>
        <source>書き出すフォルダ（新しいフォルダか空のフォルダ）</source>
        <translation>Folder to write (a new or an empty folder)</translation>
    </message>
    <message>
        <source>中止しました（書きかけのフォルダは消しました）</source>
        <translation>Stopped (the folder half written was removed)</translation>
    </message>
</context>
<context>
    <name>dravolin::shell::LibraryWindow</name>
    <message>
        <source>路線ライブラリ</source>
        <translation>Library of Lines</translation>
    </message>
    <message>
        <source>路線を追加</source>
        <translation>Add a Line</translation>
    </message>
    <message>
        <source>路線パッケージ (*.dravolin)</source>
        <translation>Line packages (*.dravolin)</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>削除...</source>
        <translation>Remove...</translation>
    </message>
    <message>
        <source>路線を追加...</source>
        <translation>Add a Line...</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>開いているデータフォルダ: %1</source>
        <translation>Open data folder: %1</translation>
    </message>
    <message>
        <source>%1&#x3000;（版 %2）</source>
        <translation>%1 (version %2)</translation>
    </message>
    <message>
        <source>%1 km・%2 駅・%3</source>
        <translation>%1 km, %2 stations, %3</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>記録なし</source>
        <translation>No drives yet</translation>
    </message>
    <message>
        <source>作者: %1</source>
        <translation>by %1</translation>
    </message>
    <message>
        <source>インストールされた路線はありません。路線を追加... でパッケージ（.dravolin）を追加できます。</source>
        <translation>No line is installed. Add a Line... installs a package (.dravolin).</translation>
    </message>
    <message>
        <source>「%1」（版 %2）を削除しますか？
%3 を削除します。運転の記録は残ります。</source>
        <translation>Remove &quot;%1&quot; (version %2)?
%3 will be removed. The drives on it stay in the history.</translation>
    </message>
    <message>
        <source>インストールしています: %1</source>
        <translation>Installing: %1</translation>
    </message>
</context>
<context>
    <name>dravolin::shell::ProgramShell</name>
    <message>
        <source>以前の「%1」フォルダのファイル %2 個は、「%3」フォルダに同じ名前のファイルがあるため元の場所に残しています</source>
        <translation>%2 files of the former &quot;%1&quot; folder stay where they are, because the &quot;%3&quot; folder has files of the same names</translation>
    </message>
    <message>
        <source>倍率%1は画面に収まらないため、%2で表示しています</source>
        <translation>Scale %1 does not fit the screen: the windows are shown at %2</translation>
    </message>
    <message>
        <source>データフォルダを開く</source>
        <translation>Open Data Folder</translation>
    </message>
    <message>
        <source>データフォルダを開く(&amp;O)...</source>
        <translation>&amp;Open Data Folder...</translation>
    </message>
    <message>
        <source>路線作成(&amp;L)...</source>
        <translation>Make a &amp;Line...</translation>
    </message>
    <message>
        <source>「%1」を開けません: %2</source>
        <translation>Cannot open &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>音量(&amp;V)</source>
        <translation>&amp;Volume</translation>
    </message>
    <message>
        <source>音量を上げる</source>
        <translation>Volume Up</translation>
    </message>
    <message>
        <source>音量を下げる</source>
        <translation>Volume Down</translation>
    </message>
    <message>
        <source>音量 %1%</source>
        <translation>Volume %1%</translation>
    </message>
    <message>
        <source>ウィンドウ(&amp;W)</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>全画面表示(&amp;F)</source>
        <translation>&amp;Full Screen</translation>
    </message>
    <message>
        <source>言語 / Language</source>
        <translation>言語 / Language</translation>
    </message>
    <message>
        <source>言語は運転を終えると切り替わります / The language changes when this drive ends</source>
        <translation>言語は運転を終えると切り替わります / The language changes when this drive ends</translation>
    </message>
    <message>
        <source>路線ライブラリ(&amp;B)...</source>
        <translation>Li&amp;brary of Lines...</translation>
    </message>
    <message>
        <source>路線を追加(&amp;A)...</source>
        <translation>&amp;Add a Line...</translation>
    </message>
    <message>
        <source>別のインストールが終わるまでお待ちください</source>
        <translation>Please wait until the other install has ended</translation>
    </message>
    <message>
        <source>最高 %1点</source>
        <translation>Best %1 points</translation>
    </message>
</context>
</TS>
