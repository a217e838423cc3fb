<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help.</source>
        <translation>このヘルプを表示します。</translation>
    </message>
    <message>
        <source>Show the version.</source>
        <translation>バージョンを表示します。</translation>
    </message>
    <message>
        <source>Shows JWW drawings and what the explode of their dimensions without a value changes; exports and prints them.</source>
        <translation>JWW 図面と、寸法値のない寸法図形の分解で変わるところを表示します。書き出しと印刷もできます。</translation>
    </message>
    <message>
        <source>Drawings to open, each in a tab.</source>
        <translation>開く図面（それぞれタブで開きます）。</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>Drawing</source>
        <translation>図面</translation>
    </message>
    <message>
        <source>The sheet at 1:1, on paper of its size</source>
        <translation>図面の用紙を原寸（1:1）で、同じ大きさの用紙に</translation>
    </message>
    <message>
        <source>The sheet fitted to the paper</source>
        <translation>図面の用紙を選んだ用紙に合わせて</translation>
    </message>
    <message>
        <source>Open drawings</source>
        <translation>図面を開く</translation>
    </message>
    <message>
        <source>Drawings (*.jww *.JWW)</source>
        <translation>図面ファイル (*.jww *.JWW)</translation>
    </message>
</context>
<context>
    <name>Reasons</name>
    <message>
        <source>while reading the file</source>
        <translation>（ファイルの読み込み中）</translation>
    </message>
    <message>
        <source>while reading the header</source>
        <translation>（ヘッダーの読み込み中）</translation>
    </message>
    <message>
        <source>while reading the entity list</source>
        <translation>（図形データの読み込み中）</translation>
    </message>
    <message>
        <source>while reading the block definitions</source>
        <translation>（ブロック定義の読み込み中）</translation>
    </message>
    <message>
        <source>while reading the images</source>
        <translation>（画像データの読み込み中）</translation>
    </message>
    <message>
        <source>while linking the block insertions</source>
        <translation>（ブロック図形の組み立て中）</translation>
    </message>
    <message>
        <source>the file cannot be opened</source>
        <translation>ファイルを開けません</translation>
    </message>
    <message>
        <source>the file could not be read further at byte %1</source>
        <translation>%1 バイト目でファイルを読めなくなりました</translation>
    </message>
    <message>
        <source>cut short at byte %1 %2</source>
        <translation>%1 バイト目で途切れています%2</translation>
    </message>
    <message>
        <source>a drawing of version %1 cannot be read (byte %2; versions from 220 on can)</source>
        <translation>バージョン %1 の図面は読めません（%2 バイト目、読めるのはバージョン 220 以降）</translation>
    </message>
    <message>
        <source>an unknown object class &quot;%1&quot; at byte %2</source>
        <translation>%2 バイト目に知らないオブジェクトクラス「%1」があります</translation>
    </message>
    <message>
        <source>the object tag 0x%1 at byte %2 names no class %3</source>
        <translation>%2 バイト目のオブジェクトタグ 0x%1 はどのクラスも指していません%3</translation>
    </message>
    <message>
        <source>a class name of %1 bytes at byte %2 is too long</source>
        <translation>%2 バイト目のクラス名が長すぎます（%1 バイト）</translation>
    </message>
    <message>
        <source>the count %1 at byte %2 does not fit in the rest of the file %3</source>
        <translation>%2 バイト目の個数 %1 はファイルの残りに収まりません%3</translation>
    </message>
    <message>
        <source>block definition %1 places itself (byte %2)</source>
        <translation>ブロック定義 %1 が自分自身を配置しています（%2 バイト目）</translation>
    </message>
    <message>
        <source>the block insertions reach more than 1,000,000 placements (byte %1)</source>
        <translation>ブロック図形の配置が 1,000,000 個を超えます（%1 バイト目）</translation>
    </message>
    <message>
        <source>the memory ran out at byte %1 %2</source>
        <translation>%1 バイト目でメモリが足りなくなりました%2</translation>
    </message>
    <message>
        <source>the carried image &quot;%1&quot; cannot be put into the scratch folder</source>
        <translation>埋め込み画像「%1」を作業フォルダーに書き出せません</translation>
    </message>
    <message>
        <source>the carried image &quot;%1&quot; cannot be read back from the scratch folder</source>
        <translation>埋め込み画像「%1」を作業フォルダーから読み戻せません</translation>
    </message>
    <message>
        <source>it cannot be read as a drawing</source>
        <translation>図面として読めません</translation>
    </message>
    <message>
        <source>The drawing cannot be read: %1
%2</source>
        <translation>図面を読み込めません: %1
%2</translation>
    </message>
    <message>
        <source>The file does not begin like a drawing.</source>
        <translation>このファイルは図面ファイルの形で始まっていません。</translation>
    </message>
    <message>
        <source>Not written: %1: its Japanese texts cannot be decoded</source>
        <translation>書き出せません: %1: 日本語の文字を変換できません</translation>
    </message>
    <message>
        <source>The drawing cannot be opened: %1</source>
        <translation>図面を開けません: %1</translation>
    </message>
    <message>
        <source>%1 was written, but its folder could not be synced: %2</source>
        <translation>%1 は書き出しましたが、フォルダーを同期できませんでした: %2</translation>
    </message>
    <message>
        <source>Not written: %1
%2</source>
        <translation>書き出せません: %1
%2</translation>
    </message>
    <message>
        <source>Not written: %1: the memory ran out</source>
        <translation>書き出せません: %1: メモリが足りません</translation>
    </message>
    <message>
        <source>Written: %1
No dimension without a value: no figure changed</source>
        <translation>書き出しました: %1
寸法値のない寸法図形はありませんでした（図形は変更していません）</translation>
    </message>
    <message>
        <source>Written: %1
%2 dimensions exploded: %3 lines and %4 points added</source>
        <translation>書き出しました: %1
寸法図形 %2 個を分解し、線 %3 本と点 %4 個を追加（ブロック定義内を含む）</translation>
    </message>
    <message>
        <source>Written: %1</source>
        <translation>書き出しました: %1</translation>
    </message>
    <message>
        <source>Not written: %1 is no .svg name</source>
        <translation>書き出せません: %1 の名前が .svg ではありません</translation>
    </message>
    <message>
        <source>Not written: %1</source>
        <translation>書き出せません: %1</translation>
    </message>
    <message>
        <source>Not written: %1 is the drawing itself, or its name ends in none of %2</source>
        <translation>書き出せません: %1 は図面そのものか、名前が %2 のどれでも終わっていません</translation>
    </message>
</context>
<context>
    <name>TDrawingTab</name>
    <message>
        <source>Opening %1 ...</source>
        <translation>%1 を開いています…</translation>
    </message>
    <message>
        <source>Opening %1 was stopped.</source>
        <translation>%1 を開くのを中止しました。</translation>
    </message>
</context>
<context>
    <name>TLayerPanel</name>
    <message>
        <source>[%1] Group %1</source>
        <translation>[%1] レイヤグループ %1</translation>
    </message>
    <message>
        <source>[%1-%2] Layer %2</source>
        <translation>[%1-%2] レイヤ %2</translation>
    </message>
</context>
<context>
    <name>TViewerWindow</name>
    <message>
        <source>Layers</source>
        <translation>レイヤ</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>開く(&amp;O)...</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>最近開いた図面(&amp;R)</translation>
    </message>
    <message>
        <source>Re&amp;load</source>
        <translation>読み込み直す(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Explode dimensions without value...</source>
        <translation>寸法値のない寸法図形を分解(&amp;E)...</translation>
    </message>
    <message>
        <source>Export as &amp;DXF...</source>
        <translation>DXF に書き出す(&amp;D)...</translation>
    </message>
    <message>
        <source>Export as &amp;SVG...</source>
        <translation>SVG に書き出す(&amp;S)...</translation>
    </message>
    <message>
        <source>Export as &amp;PDF...</source>
        <translation>PDF に書き出す(&amp;P)...</translation>
    </message>
    <message>
        <source>Print Pre&amp;view...</source>
        <translation>印刷プレビュー(&amp;V)...</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>印刷(&amp;P)...</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>閉じる(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>Zoom &amp;In</source>
        <translation>拡大(&amp;I)</translation>
    </message>
    <message>
        <source>Zoom &amp;Out</source>
        <translation>縮小(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Fit the Drawing</source>
        <translation>全体を表示(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Highlight What the Explode Changes</source>
        <translation>分解で変わる図形を強調(&amp;H)</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>中止</translation>
    </message>
    <message>
        <source>%1 – Quorvex Viewer</source>
        <translation>%1 – Quorvex ビューアー</translation>
    </message>
    <message>
        <source>Quorvex Viewer</source>
        <translation>Quorvex ビューアー</translation>
    </message>
    <message>
        <source>%1 dimensions without a value</source>
        <translation>寸法値のない寸法図形 %1 個</translation>
    </message>
    <message>
        <source>no dimension without a value; converting changes no figure</source>
        <translation>寸法値のない寸法図形はありません。変換しても図形は変わりません</translation>
    </message>
    <message>
        <source> (highlighted)</source>
        <translation>（強調表示中）</translation>
    </message>
    <message>
        <source>sheet %1</source>
        <translation>用紙 %1</translation>
    </message>
    <message>
        <source>%1, 1:%2</source>
        <translation>%1、縮尺 1:%2</translation>
    </message>
    <message>
        <source>x %1, y %2 mm on paper; x %3, y %4 mm real</source>
        <translation>図面上 x %1, y %2 mm／実寸 x %3, y %4 mm</translation>
    </message>
    <message>
        <source>Esc stops it</source>
        <translation>Esc で中止します</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>（なし）</translation>
    </message>
    <message>
        <source>Explode dimensions without value</source>
        <translation>寸法値のない寸法図形を分解</translation>
    </message>
    <message>
        <source>Drawings (*.jww)</source>
        <translation>図面ファイル (*.jww)</translation>
    </message>
    <message>
        <source>Exploding %1 ...</source>
        <translation>%1 を分解しています…</translation>
    </message>
    <message>
        <source>Export as DXF</source>
        <translation>DXF に書き出す</translation>
    </message>
    <message>
        <source>DXF drawings (*.dxf)</source>
        <translation>DXF 図面 (*.dxf)</translation>
    </message>
    <message>
        <source>Writing %1 ...</source>
        <translation>%1 を書き出しています…</translation>
    </message>
    <message>
        <source>Export as SVG</source>
        <translation>SVG に書き出す</translation>
    </message>
    <message>
        <source>SVG pictures (*.svg)</source>
        <translation>SVG 画像 (*.svg)</translation>
    </message>
    <message>
        <source>The printer could not be started.</source>
        <translation>プリンターを開始できませんでした。</translation>
    </message>
    <message>
        <source>Printing %1 ...</source>
        <translation>%1 を印刷しています…</translation>
    </message>
    <message>
        <source>Export as PDF</source>
        <translation>PDF に書き出す</translation>
    </message>
    <message>
        <source>PDF documents (*.pdf)</source>
        <translation>PDF 文書 (*.pdf)</translation>
    </message>
</context>
</TS>
