<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>BrowseQuery</name>
    <message>
        <source>部首の画数：すべて</source>
        <translation>Radicals of any stroke count</translation>
    </message>
    <message numerus="yes">
        <source>部首 %n画</source>
        <translation>
            <numerusform>%n-stroke radicals</numerusform>
            <numerusform>%n-stroke radicals</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HelpPage</name>
    <message>
        <source>Help.html</source>
        <translation>Help.en.html</translation>
    </message>
</context>
<context>
    <name>InkView</name>
    <message>
        <source>ここに1文字書く</source>
        <translation>Write one character here</translation>
    </message>
</context>
<context>
    <name>InputMethodPlatform</name>
    <message>
        <source>選択中の入力欄</source>
        <translation>the focused field</translation>
    </message>
</context>
<context>
    <name>KeyStrip</name>
    <message>
        <source>前の文字を削除</source>
        <translation>Delete the previous character</translation>
    </message>
</context>
<context>
    <name>KeyboardLayout</name>
    <message>
        <source>ひらがな</source>
        <translation>Hiragana</translation>
    </message>
    <message>
        <source>カタカナ</source>
        <translation>Katakana</translation>
    </message>
    <message>
        <source>英数字</source>
        <translation>Latin</translation>
    </message>
    <message>
        <source>全角英数字</source>
        <translation>Full-width Latin</translation>
    </message>
    <message>
        <source>空白</source>
        <translation>Space</translation>
    </message>
    <message>
        <source>前の文字を削除</source>
        <translation>Backspace</translation>
    </message>
    <message>
        <source>改行</source>
        <translation>Enter</translation>
    </message>
</context>
<context>
    <name>Mode</name>
    <message>
        <source>手書き</source>
        <translation>Handwriting</translation>
    </message>
    <message>
        <source>文字一覧</source>
        <translation>Character list</translation>
    </message>
    <message>
        <source>総画数</source>
        <translation>Stroke count</translation>
    </message>
    <message>
        <source>部首</source>
        <translation>Radical</translation>
    </message>
    <message>
        <source>ソフトキーボード</source>
        <translation>Soft keyboard</translation>
    </message>
</context>
<context>
    <name>PadTexts</name>
    <message>
        <source>辞書を読み込んでいます…</source>
        <translation>Loading the dictionary…</translation>
    </message>
    <message>
        <source>準備完了。入力欄を選び、候補の文字をクリックしてください</source>
        <translation>Ready. Select a text field, then click a character.</translation>
    </message>
    <message>
        <source>手書き欄に1文字書いてください</source>
        <translation>Write one character in the box.</translation>
    </message>
    <message>
        <source>辞書の準備中です。少し待って『認識』を押してください</source>
        <translation>The dictionary is still loading. Wait a moment, then press “Recognize”.</translation>
    </message>
    <message>
        <source>64画まで認識できます。『消去』して1文字ずつ書いてください</source>
        <translation>Up to 64 strokes can be recognized. Press “Clear” and write one character at a time.</translation>
    </message>
    <message>
        <source>認識中…</source>
        <translation>Recognizing…</translation>
    </message>
    <message>
        <source>候補がありません。文字を書き直してください</source>
        <translation>No candidates. Please write the character again.</translation>
    </message>
    <message>
        <source>候補にマウスを重ねると、読みと文字コードを表示</source>
        <translation>Point at a character to see its readings, meanings and code</translation>
    </message>
    <message>
        <source>文字をクリックすると入力先へ送信します</source>
        <translation>Click a character to type it into the target</translation>
    </message>
    <message>
        <source>入力先を選んでください</source>
        <translation>Choose the application to type into</translation>
    </message>
    <message>
        <source>辞書を読み込めません：%1</source>
        <translation>Cannot load the dictionary: %1</translation>
    </message>
    <message numerus="yes">
        <source>%n画</source>
        <translation>
            <numerusform>%n stroke</numerusform>
            <numerusform>%n strokes</numerusform>
        </translation>
    </message>
    <message>
        <source>入力先：%1</source>
        <translation>Target: %1</translation>
    </message>
    <message>
        <source>未選択</source>
        <translation>none</translation>
    </message>
    <message>
        <source>読み情報なし</source>
        <translation>no reading</translation>
    </message>
    <message numerus="yes">
        <source>%n候補・%1ms&#x3000;候補をクリックして入力</source>
        <translation>
            <numerusform>%n candidate in %1 ms. Click it to type it.</numerusform>
            <numerusform>%n candidates in %1 ms. Click one to type it.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>sumiro::AppDelegate</name>
    <message>
        <source>入力を許可…</source>
        <translation>Allow input…</translation>
    </message>
    <message>
        <source>使い方</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>sumiro::BrowseMode</name>
    <message>
        <source>ひらがな</source>
        <translation>Hiragana</translation>
    </message>
    <message>
        <source>カタカナ</source>
        <translation>Katakana</translation>
    </message>
    <message>
        <source>英数字・記号</source>
        <translation>Latin letters &amp; symbols</translation>
    </message>
    <message>
        <source>句読点・括弧</source>
        <translation>Punctuation &amp; brackets</translation>
    </message>
    <message>
        <source>全角・半角</source>
        <translation>Full-width &amp; half-width</translation>
    </message>
    <message>
        <source>漢字</source>
        <translation>Kanji</translation>
    </message>
    <message>
        <source>漢字 拡張A</source>
        <translation>Kanji Extension A</translation>
    </message>
    <message>
        <source>漢字 拡張B</source>
        <translation>Kanji Extension B</translation>
    </message>
    <message>
        <source>矢印</source>
        <translation>Arrows</translation>
    </message>
    <message>
        <source>数学記号</source>
        <translation>Math symbols</translation>
    </message>
    <message>
        <source>罫線</source>
        <translation>Box drawing</translation>
    </message>
    <message>
        <source>外字領域</source>
        <translation>Private use area</translation>
    </message>
    <message>
        <source>基本の漢字のみ</source>
        <translation>Basic kanji only</translation>
    </message>
    <message>
        <source>文字・読み・U+コード</source>
        <translation>Reading, meaning, U+code</translation>
    </message>
    <message>
        <source>検索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>書体</source>
        <translation>Font</translation>
    </message>
    <message numerus="yes">
        <source>%n文字</source>
        <translation>
            <numerusform>%n character</numerusform>
            <numerusform>%n characters</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>sumiro::DirectInput</name>
    <message>
        <source>初回設定：『入力を許可』からアクセシビリティを有効にしてください</source>
        <translation>First-time setup: turn on accessibility through “Allow input”</translation>
    </message>
    <message>
        <source>先に入力先のアプリで、文字を入れる場所をクリックしてください</source>
        <translation>First click where the text should go in the application you type into</translation>
    </message>
    <message>
        <source>入力先が切り替わりました。入力欄を選び直してください</source>
        <translation>The target changed. Select the text field again</translation>
    </message>
    <message>
        <source>入力イベントを作成できませんでした</source>
        <translation>Could not make the input events</translation>
    </message>
    <message>
        <source>文字を届けられる入力先がありません。入力メソッド（fcitx5 か IBus）を起動するか、X11 のアプリで入力欄を選んでください</source>
        <translation>Nothing can take the characters. Start an input method (fcitx5 or IBus), or select a text field in an X11 application</translation>
    </message>
    <message>
        <source>入力先のアプリで、文字を入れる場所をクリックしてください</source>
        <translation>Click where the text should go in the target application</translation>
    </message>
    <message>
        <source>パッドの入力欄には送りません。入力先のアプリで入力欄をクリックしてください</source>
        <translation>Nothing goes into the pad’s own field. Click a text field in the target application</translation>
    </message>
    <message>
        <source>「%1」</source>
        <translation>“%1”</translation>
    </message>
    <message>
        <source>キー</source>
        <translation>the key</translation>
    </message>
    <message>
        <source>入力先</source>
        <translation>the target</translation>
    </message>
    <message>
        <source>%1へ%2を送信</source>
        <translation>Sent %2 to %1</translation>
    </message>
    <message>
        <source>%1へ%2を送信（%3）</source>
        <translation>Sent %2 to %1 (%3)</translation>
    </message>
    <message>
        <source>%1を送れませんでした。%2</source>
        <translation>Could not send %1. %2</translation>
    </message>
    <message>
        <source>入力メソッド（%1）が応答しません。%2が入力されたかどうかは分かりません</source>
        <translation>The input method (%1) does not answer. Whether %2 was typed is unknown</translation>
    </message>
</context>
<context>
    <name>sumiro::HandwritingMode</name>
    <message>
        <source>一画戻す</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>消去</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>認識</source>
        <translation>Recognize</translation>
    </message>
    <message>
        <source>手書き</source>
        <translation>Handwriting</translation>
    </message>
    <message>
        <source>候補をクリックして入力</source>
        <translation>Click a candidate to type it</translation>
    </message>
</context>
<context>
    <name>sumiro::KeyboardMode</name>
    <message>
        <source>キーをクリックして入力</source>
        <translation>Click a key to type it</translation>
    </message>
</context>
<context>
    <name>sumiro::SetupWindow</name>
    <message>
        <source>Sumiroの初回設定</source>
        <translation>Sumiro setup</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>選んだ文字を、ほかのアプリの入力欄に直接入力するために必要です。</source>
        <translation>This is needed to type the characters you pick straight into the text fields of other applications.</translation>
    </message>
    <message>
        <source>1. 入力メソッドを起動する：端末で fcitx5 -d（Sumiro のアドオンを入れて）、または ibus-daemon -drx</source>
        <translation>1. Start an input method: in a terminal, fcitx5 -d (with the Sumiro add-on installed) or ibus-daemon -drx</translation>
    </message>
    <message>
        <source>この X サーバーには XTEST 拡張がなく、入力メソッドも動いていないため、文字を送れません。次のどちらかを行ってください。

</source>
        <translation>This X server has no XTEST extension and no input method is running, so the pad cannot type. Do one of the following.

</translation>
    </message>
    <message>
        <source>

2. X サーバーの XTEST を有効にする：Xorg は設定ファイルの Option &quot;XTEST&quot; &quot;Disable&quot; を消して起動し直す。Xvfb や Xvnc は +extension XTEST を付けて起動する</source>
        <translation>

2. Turn on XTEST in the X server: for Xorg, remove Option &quot;XTEST&quot; &quot;Disable&quot; from its configuration and restart it; start Xvfb or Xvnc with +extension XTEST</translation>
    </message>
    <message>
        <source>X11 のディスプレイに接続できず、入力メソッドも動いていないため、文字を送れません。次のどちらかを行ってください。

</source>
        <translation>The pad cannot connect to an X11 display and no input method is running, so it cannot type. Do one of the following.

</translation>
    </message>
    <message>
        <source>

2. X11 のセッションか Xwayland のある Wayland のセッションで、環境変数 DISPLAY のある端末から Sumiro を起動し直す</source>
        <translation>

2. In an X11 session, or a Wayland session with Xwayland, start Sumiro again from a terminal that has DISPLAY set</translation>
    </message>
    <message>
        <source>Wayland のセッションで入力メソッドが動いていないため、文字を送れません。次のどちらかを行ってください。

1. 入力メソッドを起動する：端末で fcitx5 -d（Sumiro のアドオンを入れて）。GNOME では ibus-daemon -drx、KDE Plasma では「システム設定」の「仮想キーボード」で Fcitx 5 を選ぶ

2. ログイン画面で X11 のセッション（「GNOME on Xorg」「Plasma (X11)」など）を選んでログインし直す</source>
        <translation>No input method is running in this Wayland session, so the pad cannot type. Do one of the following.

1. Start an input method: in a terminal, fcitx5 -d (with the Sumiro add-on installed). On GNOME, ibus-daemon -drx; on KDE Plasma, choose Fcitx 5 under System Settings, Virtual Keyboard

2. On the login screen, choose an X11 session (&quot;GNOME on Xorg&quot;, &quot;Plasma (X11)&quot; and the like) and log in again</translation>
    </message>
    <message>
        <source>使い方を開く</source>
        <translation>Open Help</translation>
    </message>
    <message>
        <source>入力メソッドが動き出すと、パッドが自動で開きます。X サーバーやセッションを変えたときは、Sumiro を起動し直してください。詳しくは使い方のページの「文字が入力される仕組み」にあります。</source>
        <translation>The pad opens by itself once an input method runs. After changing the X server or the session, start Sumiro again. The help page explains more under &quot;How characters reach the application&quot;.</translation>
    </message>
    <message>
        <source>文字を入力するための準備</source>
        <translation>Getting ready to type</translation>
    </message>
</context>
<context>
    <name>sumiro::StatusMenu</name>
    <message>
        <source>Sumiroを表示</source>
        <translation>Show Sumiro</translation>
    </message>
    <message>
        <source>入力の許可を設定…</source>
        <translation>Set up input permission…</translation>
    </message>
    <message>
        <source>使い方・ライセンス</source>
        <translation>Help and licences</translation>
    </message>
    <message>
        <source>ログイン時に起動</source>
        <translation>Start at login</translation>
    </message>
    <message>
        <source>Sumiroを終了</source>
        <translation>Quit Sumiro</translation>
    </message>
    <message>
        <source>ログイン時の起動を設定できません：%1</source>
        <translation>Cannot set up the start at login: %1</translation>
    </message>
</context>
</TS>
