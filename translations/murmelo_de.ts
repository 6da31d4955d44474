<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AudioListPlayer</name>
    <message>
        <location filename="../src/app/AudioListPlayer.cpp" line="+22" />
        <source>The sound device could not be opened.</source>
        <translation>Das Audiogerät ließ sich nicht öffnen.</translation>
    </message>
</context>
<context>
    <name>EditHistory</name>
    <message>
        <location filename="../src/screens/playback/MarkerSteps.cpp" line="+38" />
        <location filename="../src/screens/playback/RecordingSteps.cpp" line="+23" />
        <source>The recording is no longer in the library.</source>
        <translation>Die Aufnahme ist nicht mehr in der Bibliothek.</translation>
    </message>
    <message>
        <location line="-20" />
        <source>Add Marker</source>
        <translation>Markierung hinzufügen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Delete Marker</source>
        <translation>Markierung löschen</translation>
    </message>
    <message>
        <location line="+44" />
        <location line="+76" />
        <source>The marker is no longer there.</source>
        <translation>Die Markierung gibt es nicht mehr.</translation>
    </message>
    <message>
        <location line="-5" />
        <source>A marker&apos;s text is still open.</source>
        <translation>Der Text einer Markierung ist noch geöffnet.</translation>
    </message>
    <message>
        <location line="-113" />
        <source>Move Marker</source>
        <translation>Markierung verschieben</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Nudge Marker</source>
        <translation>Markierung rücken</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Change Marker Text</source>
        <translation>Markierungstext ändern</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/RecordingSteps.cpp" line="-9" />
        <source>Change Title and Message</source>
        <translation>Titel und Botschaft ändern</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Change Title</source>
        <translation>Titel ändern</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Change Message</source>
        <translation>Botschaft ändern</translation>
    </message>
    <message>
        <location line="+42" />
        <source>Crop</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <location line="+11" />
        <source>The recording it was cropped from is no longer in the library.</source>
        <translation>Die Aufnahme, aus der geschnitten wurde, ist nicht mehr in der Bibliothek.</translation>
    </message>
    <message>
        <location line="+9" />
        <source>The cropped copy is no longer kept.</source>
        <translation>Die zugeschnittene Kopie wird nicht mehr aufbewahrt.</translation>
    </message>
</context>
<context>
    <name>LabelFile</name>
    <message>
        <location filename="../src/library/LabelFile.cpp" line="+96" />
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <location line="+5" />
        <source>not UTF-8 text</source>
        <translation>kein UTF-8-Text</translation>
    </message>
    <message>
        <location line="+4" />
        <source>holds the control character U+%1, which is not text</source>
        <translation>enthält das Steuerzeichen U+%1, das kein Text ist</translation>
    </message>
    <message>
        <location line="+19" />
        <source>expected start&lt;TAB&gt;end&lt;TAB&gt;text</source>
        <translation>erwartet wurde Anfang&lt;TAB&gt;Ende&lt;TAB&gt;Text</translation>
    </message>
    <message>
        <location line="+10" />
        <source>“%1” is not a time in seconds</source>
        <translation>„%1“ ist keine Zeit in Sekunden</translation>
    </message>
    <message>
        <location line="+10" />
        <source>ends before it starts</source>
        <translation>endet, bevor sie beginnt</translation>
    </message>
    <message>
        <location line="+4" />
        <source>ends at %1 s, after the end of the recording (%2 s)</source>
        <translation>endet bei %1 s, nach dem Ende der Aufnahme (%2 s)</translation>
    </message>
</context>
<context>
    <name>Localized</name>
    <message>
        <location filename="../src/platform/Localized.cpp" line="+14" />
        <source>Save this reversal before cropping it.</source>
        <translation>Speichern Sie diese Umkehrung, bevor Sie sie zuschneiden.</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Delete &quot;%1&quot;?</source>
        <translation>„%1“ löschen?</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Delete this reversal?</source>
        <translation>Diese Umkehrung löschen?</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Its audio files are removed too.</source>
        <translation>Ihre Audiodateien werden ebenfalls entfernt.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <location line="+1" />
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <location line="+2" />
        <source>You have an unsaved reversal. Save it to your library?</source>
        <translation>Sie haben eine ungespeicherte Umkehrung. In Ihrer Bibliothek speichern?</translation>
    </message>
    <message>
        <location line="+3" />
        <source>I listened to a recording backwards with Murmelo and heard a hidden message: &quot;%@&quot;

The attached file plays the recording forwards, then backwards. Listen for yourself!

%@
</source>
        <translation>Ich habe mir mit Murmelo eine Aufnahme rückwärts angehört und eine versteckte Botschaft gehört: „%@“

Die angehängte Datei spielt die Aufnahme erst vorwärts, dann rückwärts. Hören Sie selbst!

%@
</translation>
    </message>
    <message>
        <location line="+5" />
        <source>What Murmelo is for</source>
        <translation>Wofür Murmelo da ist</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Murmelo plays speech backwards. People who practise reverse speech believe that a sentence, played in reverse, sometimes carries a short second message. Murmelo makes it easy to hear for yourself: record or import some speech, let Murmelo reverse it, and listen as often and as slowly as you like. Keep what you find in your library, with a note of what you heard.</source>
        <translation>Murmelo spielt Sprache rückwärts ab. Wer sich mit Rückwärtssprache beschäftigt, glaubt, dass ein Satz, rückwärts gespielt, manchmal eine kurze zweite Botschaft trägt. Mit Murmelo hören Sie leicht selbst nach: Nehmen Sie Sprache auf oder importieren Sie sie, lassen Sie Murmelo sie umkehren, und hören Sie so oft und so langsam zu, wie Sie möchten. Bewahren Sie Ihre Funde in Ihrer Bibliothek auf, mit einer Notiz dessen, was Sie gehört haben.</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Recording a phrase</source>
        <translation>Eine Phrase aufnehmen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Open Record from the menu and press the red button to start recording from your microphone. Speak naturally; a phrase of five to twenty seconds works best, because reversals of long recordings are hard to follow. Press the button again to stop. Murmelo then reverses the recording and draws its waveform, which takes a moment for longer recordings; the progress bar shows how far it has got, and Cancel stops it and throws the recording away.

If nothing is recorded, check in your system&apos;s sound settings that a microphone is connected, not muted, and chosen as the input device.</source>
        <translation>Öffnen Sie „Aufnehmen“ im Menü und drücken Sie den roten Knopf, um die Aufnahme vom Mikrofon zu starten. Sprechen Sie natürlich; eine Phrase von fünf bis zwanzig Sekunden eignet sich am besten, denn Umkehrungen langer Aufnahmen sind schwer zu verfolgen. Drücken Sie den Knopf erneut, um zu beenden. Murmelo kehrt die Aufnahme dann um und zeichnet ihre Wellenform, was bei längeren Aufnahmen einen Moment dauert; der Fortschrittsbalken zeigt, wie weit es ist, und „Abbrechen“ hält an und verwirft die Aufnahme.

Wird nichts aufgenommen, prüfen Sie in den Audioeinstellungen Ihres Systems, ob ein Mikrofon angeschlossen, nicht stummgeschaltet und als Eingabegerät gewählt ist.</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Importing a song</source>
        <translation>Ein Lied importieren</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Choose Import on the record screen to pick a song or a voice memo from your Music folder, or any other audio file. Murmelo reads MP3, AAC and M4A, Apple Lossless, FLAC, Ogg, Opus, WAV and AIFF. The song is converted once, then reversed just like a recording. Files that are protected by copy protection cannot be read.</source>
        <translation>Wählen Sie „Importieren“ im Aufnahmebildschirm, um ein Lied oder eine Sprachnotiz aus Ihrem Musikordner oder eine beliebige andere Audiodatei auszuwählen. Murmelo liest MP3, AAC und M4A, Apple Lossless, FLAC, Ogg, Opus, WAV und AIFF. Das Lied wird einmal umgewandelt und dann wie eine Aufnahme umgekehrt. Kopiergeschützte Dateien lassen sich nicht lesen.</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Listening backwards</source>
        <translation>Rückwärts hören</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The playback screen opens on the forward recording, as it was said. Press the Forward button (or R) to switch to the reversal at the same point: the waveform then runs the way the reversal plays, and the reversal&apos;s own clock runs beside the position. Drag along the waveform to jump to any point, use the speed slider to slow it down (slowing down keeps the pitch, so voices stay voices), and switch Loop on to hear a passage again and again, so you can compare what was said with what you hear backwards.</source>
        <translation>Der Wiedergabebildschirm öffnet sich mit der Vorwärtsaufnahme, so wie sie gesprochen wurde. Drücken Sie den Knopf „Vorwärts“ (oder R), um an derselben Stelle zur Umkehrung zu wechseln: Die Wellenform läuft dann so, wie die Umkehrung spielt, und die eigene Uhr der Umkehrung läuft neben der Position. Ziehen Sie entlang der Wellenform, um zu einer beliebigen Stelle zu springen, verlangsamen Sie mit dem Temporegler (die Tonhöhe bleibt dabei erhalten, Stimmen bleiben also Stimmen), und schalten Sie die Schleife ein, um eine Stelle immer wieder zu hören, damit Sie vergleichen können, was gesagt wurde und was Sie rückwärts hören.</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Cropping and saving</source>
        <translation>Zuschneiden und speichern</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Move the two handles of the range slider around the part you care about and choose Crop to keep only that part, in both directions. Save stores the reversal in your library; you can give it a title and write down the message you heard. If you leave an unsaved reversal through the menu, Murmelo asks whether to keep it.</source>
        <translation>Schieben Sie die beiden Griffe des Bereichsreglers um den Teil, der Sie interessiert, und wählen Sie „Zuschneiden“, um nur diesen Teil zu behalten, in beiden Richtungen. „Speichern“ legt die Umkehrung in Ihrer Bibliothek ab; Sie können ihr einen Titel geben und die gehörte Botschaft aufschreiben. Verlassen Sie eine ungespeicherte Umkehrung über das Menü, fragt Murmelo, ob sie behalten werden soll.</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Your library</source>
        <translation>Ihre Bibliothek</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Saved recordings lists everything you kept, newest first. Click a row to open its action panel: Play hears it in place, Edit opens it on the playback screen, where you can change its title and note or crop it further, and Delete removes it. Your library lives in your own data folder; the Settings screen shows where.</source>
        <translation>„Gespeicherte Aufnahmen“ listet alles, was Sie behalten haben, das Neueste zuerst. Klicken Sie auf eine Zeile, um ihre Aktionen zu öffnen: „Abspielen“ spielt sie an Ort und Stelle, „Bearbeiten“ öffnet sie im Wiedergabebildschirm, wo Sie Titel und Notiz ändern oder sie weiter zuschneiden können, und „Löschen“ entfernt sie. Ihre Bibliothek liegt in Ihrem eigenen Datenordner; die Einstellungen zeigen, wo.</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Sending and reporting</source>
        <translation>Senden und melden</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Send mails a reversal to friends: the forward recording followed by its reversal, as one WAV file, with your title and note. A copy goes to the Murmelo mailbox, where interesting finds are collected. The strip at the bottom of the window shows how sending goes. To tell us about a fault, use Report a problem; nothing is sent unless you ask for it.</source>
        <translation>„Senden“ schickt eine Umkehrung per Mail an Freunde: die Vorwärtsaufnahme, gefolgt von ihrer Umkehrung, als eine WAV-Datei, mit Ihrem Titel und Ihrer Notiz. Eine Kopie geht an das Postfach von Murmelo, wo interessante Funde gesammelt werden. Die Leiste unten im Fenster zeigt, wie das Senden vorangeht. Um uns einen Fehler mitzuteilen, nutzen Sie „Problem melden“; nichts wird gesendet, ohne dass Sie darum bitten.</translation>
    </message>
</context>
<context>
    <name>LoopController</name>
    <message>
        <location filename="../src/screens/playback/LoopController.cpp" line="+15" />
        <source>Once</source>
        <translation>Einmal</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Forever</source>
        <translation>Endlos</translation>
    </message>
    <message numerus="yes">
        <location line="+2" />
        <source>%n times</source>
        <translation>
            <numerusform>%n-mal</numerusform>
            <numerusform>%n-mal</numerusform>
        </translation>
    </message>
    <message>
        <location line="+7" />
        <source>No gap</source>
        <translation>Keine Pause</translation>
    </message>
    <message>
        <location line="+1" />
        <source>%1 s gap</source>
        <translation>%1 s Pause</translation>
    </message>
    <message>
        <location line="+56" />
        <source>%1 of ∞</source>
        <translation>%1 von ∞</translation>
    </message>
    <message>
        <location line="+1" />
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
</context>
<context>
    <name>MMSMTPEnvelope</name>
    <message>
        <location filename="../src/mail/smtp/MMSMTPEnvelope.cpp" line="+16" />
        <source>The sender %1 is not one e-mail address.</source>
        <translation>Der Absender %1 ist nicht genau eine E-Mail-Adresse.</translation>
    </message>
    <message>
        <location line="+7" />
        <source>%1 is not an e-mail address.</source>
        <translation>%1 ist keine E-Mail-Adresse.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>No address was given.</source>
        <translation>Es wurde keine Adresse angegeben.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>It has %1 recipients; at most %2 can receive one message.</source>
        <translation>Sie hat %1 Empfänger; eine Nachricht kann höchstens %2 erreichen.</translation>
    </message>
    <message>
        <location line="+16" />
        <source>%1 has letters beyond A to Z before the @, and this server takes only plain addresses.</source>
        <translation>%1 enthält vor dem @ Zeichen außer A bis Z, und dieser Server nimmt nur einfache Adressen an.</translation>
    </message>
</context>
<context>
    <name>MMSMTPRejection</name>
    <message>
        <location filename="../src/mail/smtp/MMSMTPRejection.cpp" line="+56" />
        <source>The server answered for %1: %2</source>
        <translation>Der Server antwortete für %1: %2</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The server answered: %1</source>
        <translation>Der Server antwortete: %1</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../src/app/MainLayout.cpp" line="+48" />
        <source>Getting started</source>
        <translation>Erste Schritte</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Record</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Saved recordings</source>
        <translation>Gespeicherte Aufnahmen</translation>
    </message>
    <message>
        <location line="+14" />
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+13" />
        <source>Import a Song</source>
        <translation>Lied importieren</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <location line="+15" />
        <source>Report a Problem</source>
        <translation>Problem melden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackView.cpp" line="+209" />
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Zoom with Ctrl+wheel or + and -</source>
        <translation>Zoomen mit Strg+Mausrad oder + und -</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Part of the waveform shown</source>
        <translation>Gezeigter Teil der Wellenform</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Remove the marker (Delete)</source>
        <translation>Marke entfernen (Entf)</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Position in the forward audio</source>
        <translation>Position im Vorwärts-Audio</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Length of the audio</source>
        <translation>Länge des Audios</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Time on the reversal, as it plays</source>
        <translation>Zeit der Umkehrung, während sie spielt</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Edit the message</source>
        <translation>Botschaft bearbeiten</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Back to the start (Home)</source>
        <translation>Zurück zum Anfang (Pos1)</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Play or pause (Space)</source>
        <translation>Abspielen oder pausieren (Leertaste)</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Loop (L)</source>
        <translation>Schleife (L)</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Play forward or reversed (R)</source>
        <translation>Vorwärts oder rückwärts abspielen (R)</translation>
    </message>
    <message>
        <location line="+5" />
        <location line="+2" />
        <source>Speed</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Playback speed (Up/Down)</source>
        <translation>Wiedergabetempo (Auf/Ab)</translation>
    </message>
    <message>
        <location line="+5" />
        <source>How many times the stretch plays (L)</source>
        <translation>Wie oft der Abschnitt spielt (L)</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Silence between repeats (G)</source>
        <translation>Stille zwischen den Wiederholungen (G)</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Ping-pong: reversed and forward in turn (P)</source>
        <translation>Ping-Pong: abwechselnd rückwärts und vorwärts (P)</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Ping-pong</source>
        <translation>Ping-Pong</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Phrase markers</source>
        <translation>Phrasenmarken</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Markers</source>
        <translation>Marken</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Spectrogram and pitch (S)</source>
        <translation>Spektrogramm und Tonhöhe (S)</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Spectrum</source>
        <translation>Spektrum</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Did you hear a hidden message?
Save the reversal and write it down.</source>
        <translation>Haben Sie eine versteckte Botschaft gehört?
Speichern Sie die Umkehrung und schreiben Sie sie auf.</translation>
    </message>
    <message>
        <location line="+1" />
        <location line="+15" />
        <source>Save Reversal</source>
        <translation>Umkehrung speichern</translation>
    </message>
    <message>
        <location line="-10" />
        <source>Saved in your library</source>
        <translation>In Ihrer Bibliothek gespeichert</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Edit</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <location line="+2" />
        <location line="+1" />
        <source>Crop</source>
        <translation>Kürzen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The hidden message</source>
        <translation>Die versteckte Botschaft</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <location line="+5" />
        <source>E-mail addresses</source>
        <translation>E-Mail-Adressen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Your name</source>
        <translation>Ihr Name</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Text of the e-mail</source>
        <translation>Text der E-Mail</translation>
    </message>
    <message>
        <location line="+19" />
        <source>Choose the part to keep</source>
        <translation>Zu behaltenden Teil wählen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Name of the cropped reversal</source>
        <translation>Name der zugeschnittenen Umkehrung</translation>
    </message>
    <message>
        <location line="+1" />
        <location filename="../src/screens/playback/SharePanel.cpp" line="+81" />
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Save Crop</source>
        <translation>Zuschnitt speichern</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PublishFlow.cpp" line="+38" />
        <source>Publish as a Web Page</source>
        <translation>Als Webseite veröffentlichen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Web pages (*.html *.htm)</source>
        <translation>Webseiten (*.html *.htm)</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/SharePanel.cpp" line="-39" />
        <source>Send shares what you found by e-mail: one WAV file that plays the recording forwards, then backwards, at the speed set on the slider, with your name and the hidden message in the text.

Type addresses separated by commas, or pick them from your contacts with +. Switch on &quot;Also to Murmelo&quot; to send a copy to the Murmelo collection of hidden messages.

The strip at the bottom of the window shows how sending goes.</source>
        <translation>Senden teilt Ihren Fund per E-Mail: eine WAV-Datei, die die Aufnahme erst vorwärts und dann rückwärts spielt, im am Regler eingestellten Tempo, mit Ihrem Namen und der versteckten Botschaft im Text.

Geben Sie Adressen durch Kommas getrennt ein oder wählen Sie sie mit + aus Ihren Kontakten. Schalten Sie „Auch an Murmelo“ ein, um eine Kopie an die Murmelo-Sammlung versteckter Botschaften zu senden.

Die Leiste unten im Fenster zeigt, wie das Senden vorangeht.</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Send by e-mail (Ctrl+E)</source>
        <translation>Per E-Mail senden (Strg+E)</translation>
    </message>
    <message>
        <location line="+1" />
        <source>About sending (F1)</source>
        <translation>Über das Senden (F1)</translation>
    </message>
    <message>
        <location line="+2" />
        <location line="+3" />
        <source>Send by E-mail</source>
        <translation>Per E-Mail</translation>
    </message>
    <message>
        <location line="+15" />
        <source>Add an address from your contacts</source>
        <translation>Eine Adresse aus Ihren Kontakten hinzufügen</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Also to Murmelo</source>
        <translation>Auch an Murmelo</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Send a copy to the Murmelo collection</source>
        <translation>Eine Kopie an die Murmelo-Sammlung senden</translation>
    </message>
    <message>
        <location line="+5" />
        <location line="+13" />
        <source>Close (Esc)</source>
        <translation>Schließen (Esc)</translation>
    </message>
    <message>
        <location line="-12" />
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Send (Enter)</source>
        <translation>Senden (Eingabe)</translation>
    </message>
</context>
<context>
    <name>Store</name>
    <message>
        <location filename="../src/library/PhraseMarkerStore.cpp" line="+84" />
        <location line="+19" />
        <location line="+43" />
        <source>A marker must end at or after its start.</source>
        <translation>Eine Marke muss bei oder nach ihrem Anfang enden.</translation>
    </message>
    <message>
        <location line="-56" />
        <location line="+26" />
        <source>The marker could not be saved: %1</source>
        <translation>Die Marke ließ sich nicht speichern: %1</translation>
    </message>
    <message>
        <location line="+4" />
        <source>There is no marker %1.</source>
        <translation>Es gibt keine Marke %1.</translation>
    </message>
    <message>
        <location line="+13" />
        <source>The marker could not be removed: %1</source>
        <translation>Die Marke ließ sich nicht entfernen: %1</translation>
    </message>
    <message>
        <location line="+25" />
        <source>The markers could not be saved: %1</source>
        <translation>Die Marken ließen sich nicht speichern: %1</translation>
    </message>
    <message>
        <location line="+42" />
        <source>There is no saved recording %1.</source>
        <translation>Es gibt keine gespeicherte Aufnahme %1.</translation>
    </message>
    <message>
        <location filename="../src/library/SqliteDatabase.cpp" line="+196" />
        <source>the disk is full</source>
        <translation>der Datenträger ist voll</translation>
    </message>
    <message>
        <location filename="../src/library/StoreContext.cpp" line="+97" />
        <source>The library has not been opened.</source>
        <translation>Die Bibliothek wurde nicht geöffnet.</translation>
    </message>
    <message>
        <location filename="../src/library/RecordingHold.cpp" line="+177" />
        <location filename="../src/library/StoreContext.cpp" line="+194" />
        <location line="+8" />
        <source>Changes could not be saved: %1</source>
        <translation>Änderungen ließen sich nicht speichern: %1</translation>
    </message>
    <message>
        <location filename="../src/library/StoreFile.cpp" line="+27" />
        <source>The library file %1 is damaged (%2).</source>
        <translation>Die Bibliotheksdatei %1 ist beschädigt (%2).</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The file has been left as it is. Move it aside to start a new library, or restore it from a backup.</source>
        <translation>Die Datei wurde unverändert gelassen. Verschieben Sie sie, um eine neue Bibliothek zu beginnen, oder stellen Sie sie aus einer Sicherung wieder her.</translation>
    </message>
    <message>
        <location line="+64" />
        <source>The library file %1 cannot be opened (%2).</source>
        <translation>Die Bibliotheksdatei %1 lässt sich nicht öffnen (%2).</translation>
    </message>
    <message>
        <location line="+15" />
        <source>The library file %1 cannot be read (%2).</source>
        <translation>Die Bibliotheksdatei %1 lässt sich nicht lesen (%2).</translation>
    </message>
    <message>
        <location line="+8" />
        <source>The library file %1 was written by a newer version of Murmelo.</source>
        <translation>Die Bibliotheksdatei %1 wurde von einer neueren Version von Murmelo geschrieben.</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Use the newer version to open this library.</source>
        <translation>Öffnen Sie diese Bibliothek mit der neueren Version.</translation>
    </message>
    <message>
        <location line="+10" />
        <location line="+9" />
        <source>The file %1 is a database, but not a Murmelo library.</source>
        <translation>Die Datei %1 ist eine Datenbank, aber keine Murmelo-Bibliothek.</translation>
    </message>
    <message>
        <location line="+23" />
        <source>The library file %1 could not be updated (%2).</source>
        <translation>Die Bibliotheksdatei %1 ließ sich nicht aktualisieren (%2).</translation>
    </message>
    <message>
        <location line="+3" />
        <source>The file has been left as it was.</source>
        <translation>Die Datei wurde unverändert gelassen.</translation>
    </message>
    <message>
        <location filename="../src/library/RecordingHold.cpp" line="-55" />
        <source>The recording is not in the library.</source>
        <translation>Die Aufnahme ist nicht in der Bibliothek.</translation>
    </message>
    <message>
        <location line="+11" />
        <source>Cannot set aside the files in %1.</source>
        <translation>Die Dateien lassen sich nicht in %1 beiseitelegen.</translation>
    </message>
    <message>
        <location line="+72" />
        <source>The deleted recording is no longer kept.</source>
        <translation>Die gelöschte Aufnahme wird nicht mehr aufbewahrt.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>&quot;%1&quot; is in the library already.</source>
        <translation>„%1“ ist schon in der Bibliothek.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>The audio file %1 of &quot;%2&quot; is gone.</source>
        <translation>Die Audiodatei %1 von „%2“ ist nicht mehr da.</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Another file is in the place of %1.</source>
        <translation>An der Stelle von %1 liegt eine andere Datei.</translation>
    </message>
    <message>
        <location filename="../src/library/MarkerWordsStore.cpp" line="+93" />
        <source>The forward words could not be saved: %1</source>
        <translation>Die Vorwärtswörter ließen sich nicht speichern: %1</translation>
    </message>
    <message>
        <location line="+4" />
        <source>The marker %1 has changed or is gone.</source>
        <translation>Die Marke %1 hat sich geändert oder ist fort.</translation>
    </message>
</context>
<context>
    <name>murmelo::AppDelegate</name>
    <message>
        <location filename="../src/app/AppDelegate.cpp" line="+173" />
        <source>Your library cannot be opened</source>
        <translation>Ihre Bibliothek lässt sich nicht öffnen</translation>
    </message>
</context>
<context>
    <name>murmelo::ContactPicker</name>
    <message>
        <location filename="../src/screens/mail/ContactPicker.cpp" line="+19" />
        <source>Choose a Recipient</source>
        <translation>Empfänger wählen</translation>
    </message>
    <message>
        <location line="+9" />
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Search contacts</source>
        <translation>Kontakte durchsuchen</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Contacts</source>
        <translation>Kontakte</translation>
    </message>
    <message>
        <location line="+9" />
        <source>No contacts found. Choose the folder of your address book (vCard files) on the Settings screen.</source>
        <translation>Keine Kontakte gefunden. Wählen Sie den Ordner Ihres Adressbuchs (vCard-Dateien) in den Einstellungen.</translation>
    </message>
    <message>
        <location line="+15" />
        <source>Addresses</source>
        <translation>Adressen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>All Contacts</source>
        <translation>Alle Kontakte</translation>
    </message>
</context>
<context>
    <name>murmelo::DeletedRecordingStrip</name>
    <message>
        <location filename="../src/screens/library/DeletedRecordingStrip.cpp" line="+16" />
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <location line="+15" />
        <source>Undo the deletion</source>
        <translation>Löschen rückgängig machen</translation>
    </message>
    <message>
        <location line="+29" />
        <source>Deleted &quot;%1&quot;</source>
        <translation>„%1“ gelöscht</translation>
    </message>
    <message>
        <location line="+23" />
        <source>Couldn&apos;t Undo the Deletion</source>
        <translation>Löschen ließ sich nicht rückgängig machen</translation>
    </message>
</context>
<context>
    <name>murmelo::EditHistory</name>
    <message>
        <location filename="../src/screens/playback/EditHistory.cpp" line="+56" />
        <source>Undone: %1</source>
        <translation>Rückgängig gemacht: %1</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Redone: %1</source>
        <translation>Wiederhergestellt: %1</translation>
    </message>
    <message>
        <location line="+16" />
        <source>Undo %1</source>
        <translation>%1 rückgängig machen</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Redo %1</source>
        <translation>%1 wiederherstellen</translation>
    </message>
</context>
<context>
    <name>murmelo::EulaViewController</name>
    <message>
        <location filename="../src/screens/shell/EulaViewController.cpp" line="+64" />
        <source>Accept</source>
        <translation>Akzeptieren</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Licence agreement</source>
        <translation>Lizenzvereinbarung</translation>
    </message>
</context>
<context>
    <name>murmelo::FileDrops</name>
    <message>
        <location filename="../src/app/FileDrops.cpp" line="+77" />
        <source>Murmelo is busy</source>
        <translation>Murmelo ist beschäftigt</translation>
    </message>
    <message>
        <location line="+1" />
        <source>“%1” was not opened: Murmelo is still working on something else. Open it again once that is done.</source>
        <translation>„%1“ wurde nicht geöffnet: Murmelo ist noch mit etwas anderem beschäftigt. Öffnen Sie die Datei erneut, sobald das erledigt ist.</translation>
    </message>
</context>
<context>
    <name>murmelo::ForwardWordsDelegate</name>
    <message>
        <location filename="../src/screens/playback/ForwardWordsDelegate.cpp" line="+30" />
        <source>recognising the forward words…</source>
        <translation>die Vorwärtswörter werden erkannt…</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Said forward:</source>
        <translation>Vorwärts gesagt:</translation>
    </message>
</context>
<context>
    <name>murmelo::GettingStartedViewController</name>
    <message>
        <location filename="../src/screens/shell/GettingStartedViewController.cpp" line="+30" />
        <source>Getting started</source>
        <translation>Erste Schritte</translation>
    </message>
    <message>
        <location line="+23" />
        <source>Help topics</source>
        <translation>Hilfethemen</translation>
    </message>
    <message>
        <location line="+14" />
        <source>▶  Watch the demo</source>
        <translation>▶  Demo ansehen</translation>
    </message>
    <message>
        <location line="+119" />
        <source>No Video Player</source>
        <translation>Kein Videoplayer</translation>
    </message>
    <message>
        <location line="+1" />
        <source>No program on this computer plays the demo movie. Install a video player, or open the movie yourself:
%1</source>
        <translation>Kein Programm auf diesem Computer spielt den Demofilm ab. Installieren Sie einen Videoplayer oder öffnen Sie den Film selbst:
%1</translation>
    </message>
</context>
<context>
    <name>murmelo::InputAccessoryBar</name>
    <message>
        <location filename="../src/toolkit/InputAccessoryBar.cpp" line="+65" />
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>murmelo::InputLevelMeter</name>
    <message>
        <location filename="../src/screens/record/InputLevelMeter.cpp" line="+40" />
        <source>Input level</source>
        <translation>Eingangspegel</translation>
    </message>
    <message>
        <location line="+23" />
        <source>silence</source>
        <translation>Stille</translation>
    </message>
    <message>
        <location line="+1" />
        <source>%1 dB</source>
        <translation>%1 dB</translation>
    </message>
</context>
<context>
    <name>murmelo::MailJobs</name>
    <message>
        <location filename="../src/mail/jobs/MailJobs.cpp" line="+31" />
        <source>An address in the recipient list contains a line break. Type each address on the one line, separated by commas.</source>
        <translation>Eine Adresse in der Empfängerliste enthält einen Zeilenumbruch. Schreiben Sie alle Adressen in eine Zeile, durch Kommas getrennt.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>“%1” is not an e-mail address. Write each address as name@example.org or Name &lt;name@example.org&gt;, separated by commas.</source>
        <translation>„%1“ ist keine E-Mail-Adresse. Schreiben Sie jede Adresse als name@example.org oder Name &lt;name@example.org&gt;, durch Kommas getrennt.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>There is no address to send to.</source>
        <translation>Es gibt keine Adresse, an die gesendet werden kann.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>One message can go to at most %1 addresses; this one has %2.</source>
        <translation>Eine Nachricht kann an höchstens %1 Adressen gehen; diese hat %2.</translation>
    </message>
    <message>
        <location line="+56" />
        <source>Murmelo cannot reach the mail server %1 now. Check the network connection, or send through your own outgoing mail server.</source>
        <translation>Murmelo erreicht den Mailserver %1 gerade nicht. Prüfen Sie die Netzwerkverbindung oder senden Sie über Ihren eigenen Postausgangsserver.</translation>
    </message>
    <message>
        <location line="+23" />
        <location line="+6" />
        <source>The reversal&apos;s audio file could not be read, so nothing was sent.</source>
        <translation>Die Audiodatei der Umkehrung ließ sich nicht lesen, daher wurde nichts gesendet.</translation>
    </message>
    <message>
        <location line="+57" />
        <source>The password of your mail server could not be read from the keyring: %1</source>
        <translation>Das Passwort Ihres Mailservers ließ sich nicht aus dem Schlüsselbund lesen: %1</translation>
    </message>
</context>
<context>
    <name>murmelo::MarkerListView</name>
    <message>
        <location filename="../src/screens/playback/MarkerListView.cpp" line="+13" />
        <source>Phrases</source>
        <translation>Phrasen</translation>
    </message>
    <message>
        <location line="+28" />
        <source>Shift+drag over the waveform, or press M twice while listening, to mark a phrase</source>
        <translation>Umschalt+Ziehen über die Wellenform oder zweimal M beim Zuhören markiert eine Phrase</translation>
    </message>
</context>
<context>
    <name>murmelo::MprisPlayer</name>
    <message>
        <location filename="../src/app/MprisPlayer.cpp" line="+274" />
        <source>Unsaved reversal</source>
        <translation>Ungespeicherte Umkehrung</translation>
    </message>
</context>
<context>
    <name>murmelo::MusicPicker</name>
    <message>
        <location filename="../src/screens/record/MusicPicker.cpp" line="+31" />
        <source>Choose file to reverse</source>
        <translation>Datei zum Umkehren wählen</translation>
    </message>
    <message>
        <location line="+9" />
        <source>Audio and video files (%1)</source>
        <translation>Audio- und Videodateien (%1)</translation>
    </message>
    <message>
        <location line="+0" />
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Searching…</source>
        <translation>Wird gesucht …</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Choose</source>
        <translation>Wählen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Other file…</source>
        <translation>Andere Datei …</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+49" />
        <source>No songs in %1</source>
        <translation>Keine Lieder in %1</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Showing the first %1 songs</source>
        <translation>Die ersten %1 Lieder werden gezeigt</translation>
    </message>
</context>
<context>
    <name>murmelo::PlaybackViewController</name>
    <message>
        <location filename="../src/screens/playback/PlaybackViewController.cpp" line="+44" />
        <source>Playback</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <location line="+12" />
        <source>Couldn&apos;t Play the Audio</source>
        <translation>Audio konnte nicht abgespielt werden</translation>
    </message>
    <message>
        <location line="+61" />
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <location line="+2" />
        <source>%1 of %2, reversed</source>
        <translation>%1 von %2, rückwärts</translation>
    </message>
    <message>
        <location line="+271" />
        <source>Couldn&apos;t Open the Audio</source>
        <translation>Audio konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <location line="+95" />
        <source>Reversal %1</source>
        <translation>Umkehrung %1</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Reversed</source>
        <translation>Rückwärts</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Forward</source>
        <translation>Vorwärts</translation>
    </message>
    <message>
        <location line="+44" />
        <source>Couldn&apos;t Save the Speed</source>
        <translation>Tempo konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerEditing.cpp" line="+62" />
        <location line="+141" />
        <source>Couldn&apos;t Save the Reversal</source>
        <translation>Umkehrung konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <location line="-52" />
        <source>Choose the part to keep</source>
        <translation>Zu behaltenden Teil wählen</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Drag a handle to crop</source>
        <translation>Zum Zuschneiden einen Griff ziehen</translation>
    </message>
    <message>
        <location line="-17" />
        <location line="+18" />
        <source>times on the reversal</source>
        <translation>Zeiten der Umkehrung</translation>
    </message>
    <message>
        <location line="-20" />
        <source>from %1 to %2, %3</source>
        <translation>von %1 bis %2, %3</translation>
    </message>
    <message>
        <location line="+3" />
        <location line="+17" />
        <source>forward times</source>
        <translation>Zeiten vorwärts</translation>
    </message>
    <message>
        <location line="+34" />
        <source>Cropping…</source>
        <translation>Wird zugeschnitten …</translation>
    </message>
    <message>
        <location line="+13" />
        <source>Couldn&apos;t Crop the Reversal</source>
        <translation>Umkehrung konnte nicht zugeschnitten werden</translation>
    </message>
    <message>
        <location line="+44" />
        <source>Couldn&apos;t Delete the Reversal</source>
        <translation>Umkehrung konnte nicht gelöscht werden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerMarkers.cpp" line="+73" />
        <source>The phrase markers could not be read: %1</source>
        <translation>Die Phrasenmarken ließen sich nicht lesen: %1</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Couldn&apos;t Save the Markers</source>
        <translation>Marken konnten nicht gespeichert werden</translation>
    </message>
    <message>
        <location line="+69" />
        <source>Couldn&apos;t Save the Marker</source>
        <translation>Marke konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerHistory.cpp" line="+196" />
        <location filename="../src/screens/playback/PlaybackViewControllerMarkers.cpp" line="+14" />
        <source>Couldn&apos;t Remove the Marker</source>
        <translation>Marke konnte nicht entfernt werden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerMarkers.cpp" line="+49" />
        <source>Reversal time</source>
        <translation>Zeit der Umkehrung</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Forward time</source>
        <translation>Zeit vorwärts</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Heard</source>
        <translation>Gehört</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerPublish.cpp" line="+17" />
        <source>Publish…</source>
        <translation>Web …</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Publish as a web page (Ctrl+Shift+P)</source>
        <translation>Als Webseite veröffentlichen (Strg+Umschalt+P)</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerShare.cpp" line="+162" />
        <source>This e-mail cannot be sent</source>
        <translation>Diese E-Mail kann nicht gesendet werden</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Preparing the e-mail…</source>
        <translation>E-Mail wird vorbereitet …</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerSuggest.cpp" line="+67" />
        <source>Suggest phrases (Shift+M)</source>
        <translation>Phrasen vorschlagen (Umschalt+M)</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Suggest phrases</source>
        <translation>Phrasen vorschlagen</translation>
    </message>
    <message>
        <location line="+11" />
        <source>No phrases found</source>
        <translation>Keine Phrasen gefunden</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Couldn&apos;t Suggest Phrases</source>
        <translation>Phrasen konnten nicht vorgeschlagen werden</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerHistory.cpp" line="-120" />
        <source>Nothing to undo</source>
        <translation>Nichts rückgängig zu machen</translation>
    </message>
    <message>
        <location line="+4" />
        <location line="+5" />
        <source>Couldn&apos;t Undo %1</source>
        <translation>%1 ließ sich nicht rückgängig machen</translation>
    </message>
    <message>
        <location line="+20" />
        <source>Nothing to redo</source>
        <translation>Nichts wiederherzustellen</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Couldn&apos;t Redo %1</source>
        <translation>%1 ließ sich nicht wiederherstellen</translation>
    </message>
    <message>
        <location line="+107" />
        <location line="+13" />
        <source>Couldn&apos;t Move the Marker</source>
        <translation>Die Markierung ließ sich nicht verschieben</translation>
    </message>
    <message>
        <location filename="../src/screens/playback/PlaybackViewControllerWords.cpp" line="+21" />
        <source>No Forward Words</source>
        <translation>Keine Vorwärtswörter</translation>
    </message>
    <message>
        <location line="+1" />
        <source>%1 Everything else works as before; the forward words can be switched off in Settings.</source>
        <translation>%1 Alles andere funktioniert wie gewohnt; die Vorwärtswörter lassen sich in den Einstellungen ausschalten.</translation>
    </message>
</context>
<context>
    <name>murmelo::PrevNextSegment</name>
    <message>
        <location filename="../src/toolkit/InputAccessoryBar.cpp" line="-40" />
        <source>Prev</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
</context>
<context>
    <name>murmelo::ProgressOverlay</name>
    <message>
        <location filename="../src/screens/record/ProgressOverlay.cpp" line="+15" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>murmelo::PublishFlow</name>
    <message>
        <location filename="../src/screens/playback/PublishFlow.cpp" line="+25" />
        <location line="+66" />
        <source>Cannot Publish</source>
        <translation>Veröffentlichen nicht möglich</translation>
    </message>
    <message>
        <location line="-52" />
        <source>Publishing “%1”…</source>
        <translation>„%1“ wird veröffentlicht …</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Publish</source>
        <translation>Veröffentlichen</translation>
    </message>
    <message>
        <location line="+9" />
        <source>Cancelling…</source>
        <translation>Wird abgebrochen …</translation>
    </message>
    <message>
        <location line="+34" />
        <source>Published</source>
        <translation>Veröffentlicht</translation>
    </message>
    <message>
        <location line="+1" />
        <source>The page is at “%1”.%2</source>
        <translation>Die Seite liegt unter „%1“.%2</translation>
    </message>
</context>
<context>
    <name>murmelo::RangeSlider</name>
    <message>
        <location filename="../src/toolkit/RangeSlider.cpp" line="+61" />
        <source>Range</source>
        <translation>Bereich</translation>
    </message>
    <message>
        <location line="+201" />
        <source>from %1 % to %2 %</source>
        <translation>von %1 % bis %2 %</translation>
    </message>
</context>
<context>
    <name>murmelo::RecordViewController</name>
    <message>
        <location filename="../src/screens/record/RecordViewController.cpp" line="+46" />
        <location line="+181" />
        <source>Record</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <location line="-180" />
        <source>Import a Song…</source>
        <translation>Lied importieren …</translation>
    </message>
    <message>
        <location line="+15" />
        <source>Press to record a phrase.
Press again to stop: it opens ready to play, forward or backwards.</source>
        <translation>Drücken, um eine Phrase aufzunehmen.
Erneut drücken zum Beenden: Sie öffnet sich bereit zum Abspielen, vorwärts oder rückwärts.</translation>
    </message>
    <message>
        <location line="+9" />
        <source>Start or stop recording (Ctrl+R)</source>
        <translation>Aufnahme starten oder beenden (Strg+R)</translation>
    </message>
    <message>
        <location line="+18" />
        <source>Reverse a song from your music, or drop a file here (Ctrl+O)</source>
        <translation>Ein Lied aus Ihrer Musik umkehren oder eine Datei hier ablegen (Strg+O)</translation>
    </message>
    <message>
        <location line="+83" />
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <location line="+11" />
        <source>App does not have permission to use the microphone</source>
        <translation>Die App darf das Mikrofon nicht verwenden</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Please enable in Privacy settings to use this app</source>
        <translation>Bitte erlauben Sie es in den Datenschutzeinstellungen, um diese App zu verwenden</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Couldn&apos;t Start Recording</source>
        <translation>Aufnahme konnte nicht gestartet werden</translation>
    </message>
    <message>
        <location line="+25" />
        <source>Recording Stopped</source>
        <translation>Aufnahme angehalten</translation>
    </message>
    <message>
        <location line="+1" />
        <source>The recording could not be written: %1</source>
        <translation>Die Aufnahme ließ sich nicht schreiben: %1</translation>
    </message>
    <message>
        <location line="+113" />
        <source>Reversing audio…</source>
        <translation>Audio wird umgekehrt …</translation>
    </message>
    <message>
        <location line="+49" />
        <source>Couldn&apos;t Reverse the Audio</source>
        <translation>Audio konnte nicht umgekehrt werden</translation>
    </message>
    <message>
        <location line="+1" />
        <source>The audio file could not be read.</source>
        <translation>Die Audiodatei ließ sich nicht lesen.</translation>
    </message>
</context>
<context>
    <name>murmelo::RecordingCell</name>
    <message>
        <location filename="../src/screens/library/RecordingCell.cpp" line="+119" />
        <location line="+189" />
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <location line="-188" />
        <source>Share</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Publish</source>
        <translation>Veröffentlichen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <location line="+0" />
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <location line="+53" />
        <source>playing</source>
        <translation>spielt</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Playing</source>
        <translation>Spielt</translation>
    </message>
    <message>
        <location line="+90" />
        <source>1 marker</source>
        <translation>1 Marke</translation>
    </message>
    <message>
        <location line="+1" />
        <source>%1 markers</source>
        <translation>%1 Marken</translation>
    </message>
    <message>
        <location line="+2" />
        <source>imported</source>
        <translation>importiert</translation>
    </message>
    <message>
        <location line="+40" />
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
</context>
<context>
    <name>murmelo::RelaySettingsView</name>
    <message>
        <location filename="../src/screens/mail/RelaySettingsView.cpp" line="+36" />
        <source>Send through my own mail server</source>
        <translation>Über meinen eigenen Mailserver senden</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Save Mail Settings</source>
        <translation>Mail-Einstellungen speichern</translation>
    </message>
    <message>
        <location line="+19" />
        <source>STARTTLS secures the connection after it is made (usually port 587); TLS secures it from the start (usually port 465)</source>
        <translation>STARTTLS sichert die Verbindung, nachdem sie aufgebaut ist (meist Port 587); TLS sichert sie von Anfang an (meist Port 465)</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Server</source>
        <translation>Server</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Security</source>
        <translation>Sicherheit</translation>
    </message>
    <message>
        <location line="+1" />
        <source>User name</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Sender</source>
        <translation>Absender</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Contacts folder</source>
        <translation>Kontakteordner</translation>
    </message>
    <message>
        <location line="+1" />
        <source>A folder of vCard files, or of address books that hold them</source>
        <translation>Ein Ordner mit vCard-Dateien oder mit Adressbüchern, die sie enthalten</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Choose…</source>
        <translation>Wählen …</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Contacts</source>
        <translation>Kontakte</translation>
    </message>
    <message>
        <location line="+18" />
        <source>Folder of your contacts</source>
        <translation>Ordner Ihrer Kontakte</translation>
    </message>
    <message>
        <location line="+19" />
        <source>kept in your keyring</source>
        <translation>in Ihrem Schlüsselbund verwahrt</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Mail goes through %1, port %2, secured with %3.</source>
        <translation>Mails gehen über %1, Port %2, gesichert mit %3.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Mail goes through Murmelo&apos;s server.</source>
        <translation>Mails gehen über den Server von Murmelo.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>%1 sends it to %2 instead.</source>
        <translation>%1 schickt sie stattdessen an %2.</translation>
    </message>
    <message>
        <location line="+29" />
        <source>Enter the name of your mail server.</source>
        <translation>Geben Sie den Namen Ihres Mailservers ein.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The server name cannot contain spaces or line breaks.</source>
        <translation>Der Servername darf keine Leerzeichen oder Zeilenumbrüche enthalten.</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The user name and password cannot contain line breaks.</source>
        <translation>Benutzername und Passwort dürfen keine Zeilenumbrüche enthalten.</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Enter the address your mail is sent from, such as you@example.org.</source>
        <translation>Geben Sie die Adresse ein, von der Ihre Mails gesendet werden, etwa sie@example.org.</translation>
    </message>
    <message>
        <location line="+13" />
        <source>Saving…</source>
        <translation>Wird gespeichert …</translation>
    </message>
    <message>
        <location line="+25" />
        <source>The server was saved, but the keyring refused the password: %1</source>
        <translation>Der Server wurde gespeichert, aber der Schlüsselbund hat das Passwort abgelehnt: %1</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Saved.</source>
        <translation>Gespeichert.</translation>
    </message>
</context>
<context>
    <name>murmelo::ReportProblemViewController</name>
    <message>
        <location filename="../src/screens/mail/ReportProblemViewController.cpp" line="+44" />
        <source>Send Report</source>
        <translation>Bericht senden</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Report a Problem</source>
        <translation>Problem melden</translation>
    </message>
    <message>
        <location line="+8" />
        <source>Something not working? Tell us what happened; the report includes Murmelo&apos;s version and your system&apos;s name.</source>
        <translation>Funktioniert etwas nicht? Erzählen Sie uns, was passiert ist; der Bericht enthält die Version von Murmelo und den Namen Ihres Systems.</translation>
    </message>
    <message>
        <location line="+6" />
        <source>What happened</source>
        <translation>Was passiert ist</translation>
    </message>
    <message>
        <location line="+6" />
        <source>Finish the description (Esc)</source>
        <translation>Beschreibung abschließen (Esc)</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Your e-mail address, so that we can answer</source>
        <translation>Ihre E-Mail-Adresse, damit wir antworten können</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Your e-mail address</source>
        <translation>Ihre E-Mail-Adresse</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Send the report (Ctrl+Enter)</source>
        <translation>Bericht senden (Strg+Eingabe)</translation>
    </message>
    <message>
        <location filename="../src/screens/mail/ReportProblemViewController.h" line="+25" />
        <source>Please describe the problem you&apos;re encountered…</source>
        <translation>Bitte beschreiben Sie das Problem, auf das Sie gestoßen sind …</translation>
    </message>
</context>
<context>
    <name>murmelo::SavedRecordingsViewController</name>
    <message>
        <location filename="../src/screens/library/SavedRecordingsViewController.cpp" line="+49" />
        <source>Search titles, messages and markers</source>
        <translation>Titel, Botschaften und Marken durchsuchen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Search saved recordings</source>
        <translation>Gespeicherte Aufnahmen durchsuchen</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Saved recordings</source>
        <translation>Gespeicherte Aufnahmen</translation>
    </message>
    <message>
        <location line="+50" />
        <source>The library cannot be searched: %1</source>
        <translation>Die Bibliothek lässt sich nicht durchsuchen: %1</translation>
    </message>
    <message>
        <location line="+2" />
        <source>No saved recordings match “%1”</source>
        <translation>Keine gespeicherte Aufnahme passt zu „%1“</translation>
    </message>
    <message>
        <location line="+135" />
        <source>This reversal cannot be played</source>
        <translation>Diese Umkehrung lässt sich nicht abspielen</translation>
    </message>
    <message>
        <location line="+56" />
        <source>The reversal could not be deleted</source>
        <translation>Die Umkehrung ließ sich nicht löschen</translation>
    </message>
</context>
<context>
    <name>murmelo::SettingsViewController</name>
    <message>
        <location filename="../src/screens/shell/SettingsViewController.cpp" line="+45" />
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+25" />
        <source>Library</source>
        <translation>Bibliothek</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Mail</source>
        <translation>Mail</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Telemetry service</source>
        <translation>Telemetriedienst</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Send usage and crash reports</source>
        <translation>Nutzungs- und Absturzberichte senden</translation>
    </message>
    <message>
        <location line="+6" />
        <source>When on (and once the agreement is accepted), Murmelo reports when it starts and stops, its own log lines and, after a crash, where it crashed, with its version, the system and machine it runs on and two random identifiers of yours. Never your audio, names or addresses.</source>
        <translation>Wenn eingeschaltet (und sobald die Vereinbarung akzeptiert ist), meldet Murmelo, wann es startet und endet, seine eigenen Protokollzeilen und nach einem Absturz, wo es abgestürzt ist, mit seiner Version, dem System und Rechner, auf dem es läuft, und zwei zufälligen Kennungen von Ihnen. Nie Ihr Audio, Namen oder Adressen.</translation>
    </message>
    <message>
        <location line="+11" />
        <source>Show what is sent</source>
        <translation>Zeigen, was gesendet wird</translation>
    </message>
    <message>
        <location line="+2" />
        <source>The reports waiting to be sent, decoded</source>
        <translation>Die Berichte, die auf das Senden warten, entschlüsselt</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Reset identifiers</source>
        <translation>Kennungen zurücksetzen</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Reports from now on carry new random identifiers</source>
        <translation>Berichte tragen ab jetzt neue zufällige Kennungen</translation>
    </message>
    <message>
        <location line="+12" />
        <source>Forward words</source>
        <translation>Vorwärtswörter</translation>
    </message>
    <message>
        <location line="+3" />
        <source>Recognise the forward words</source>
        <translation>Vorwärtswörter erkennen</translation>
    </message>
    <message>
        <location line="+6" />
        <source>The words said forward under each phrase marker, shown under what was heard. US English, recognised on this computer: nothing is sent anywhere.</source>
        <translation>Die Wörter, die unter jeder Phrasenmarke vorwärts gesagt werden, unter dem Gehörten gezeigt. US-Englisch, auf diesem Computer erkannt: Nichts wird irgendwohin gesendet.</translation>
    </message>
    <message>
        <location line="+7" />
        <source>The environment variable %1 (host or host:port) sends mail to another server, and %2 names another telemetry service.</source>
        <translation>Die Umgebungsvariable %1 (Host oder Host:Port) schickt Mails an einen anderen Server, und %2 nennt einen anderen Telemetriedienst.</translation>
    </message>
    <message>
        <location line="+8" />
        <source>Report a Problem…</source>
        <translation>Problem melden …</translation>
    </message>
    <message>
        <location line="+2" />
        <source>Tell us what went wrong (Ctrl+5)</source>
        <translation>Sagen Sie uns, was schiefging (Strg+5)</translation>
    </message>
    <message>
        <location line="+5" />
        <source>Murmelo %1</source>
        <translation>Murmelo %1</translation>
    </message>
    <message>
        <location line="+16" />
        <source>What is sent</source>
        <translation>Was gesendet wird</translation>
    </message>
    <message>
        <location line="+9" />
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location line="+7" />
        <source>Nothing is waiting to be sent.</source>
        <translation>Nichts wartet auf das Senden.</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Waiting to be sent, decoded (each file is one upload):</source>
        <translation>Wartet auf das Senden, entschlüsselt (jede Datei ist ein Upload):</translation>
    </message>
    <message>
        <location line="+10" />
        <source>Reports from now on carry new identifiers.</source>
        <translation>Berichte tragen ab jetzt neue Kennungen.</translation>
    </message>
</context>
<context>
    <name>murmelo::SidebarViewController</name>
    <message>
        <location filename="../src/app/SidebarViewController.cpp" line="+82" />
        <source>Menu (F9)</source>
        <translation>Menü (F9)</translation>
    </message>
    <message>
        <location line="+1" />
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <location line="+280" />
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <location line="+4" />
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>murmelo::SpectrogramPane</name>
    <message>
        <location filename="../src/screens/playback/SpectrogramPane.cpp" line="+38" />
        <source>Spectrogram and pitch</source>
        <translation>Spektrogramm und Tonhöhe</translation>
    </message>
    <message>
        <location line="+7" />
        <source>log</source>
        <translation>log</translation>
    </message>
    <message>
        <location line="+1" />
        <location line="+1" />
        <source>Logarithmic frequency axis</source>
        <translation>Logarithmische Frequenzachse</translation>
    </message>
    <message>
        <location line="+228" />
        <source>Hz</source>
        <translation>Hz</translation>
    </message>
    <message>
        <location line="+16" />
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <location line="+41" />
        <source>%1 reversed</source>
        <translation>%1 rückwärts</translation>
    </message>
    <message>
        <location line="+3" />
        <source>%1 · %2 Hz %3</source>
        <translation>%1 · %2 Hz %3</translation>
    </message>
    <message>
        <location line="+3" />
        <source> · pitch %1 Hz %2</source>
        <translation> · Tonhöhe %1 Hz %2</translation>
    </message>
</context>
<context>
    <name>murmelo::SpeechSidebarMenuController</name>
    <message>
        <location filename="../src/app/SpeechSidebarMenuController.cpp" line="+62" />
        <source>F9 or Ctrl+M opens and closes this menu.</source>
        <translation>F9 oder Strg+M öffnet und schließt dieses Menü.</translation>
    </message>
</context>
<context>
    <name>murmelo::SuggestionOverlay</name>
    <message>
        <location filename="../src/screens/playback/SuggestionOverlay.cpp" line="+67" />
        <source>Finding phrases… %1 %</source>
        <translation>Phrasen werden gesucht … %1 %</translation>
    </message>
</context>
</TS>
