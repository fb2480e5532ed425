<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
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
</context>
</TS>
