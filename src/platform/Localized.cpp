#include "platform/Localized.h"

#include <QCoreApplication>
#include <QHash>

namespace murmelo {

namespace {
const QHash<QString, const char *> &table()
{
    // English texts, the source of every translation. Screens add their keys here as they come.
    static const QHash<QString, const char *> texts{
        {QStringLiteral("save_before_crop"),
         QT_TRANSLATE_NOOP("Localized", "Save this reversal before cropping it.")},
        {QStringLiteral("delete_confirm"), QT_TRANSLATE_NOOP("Localized", "Delete \"%1\"?")},
        {QStringLiteral("delete_confirm_untitled"),
         QT_TRANSLATE_NOOP("Localized", "Delete this reversal?")},
        {QStringLiteral("delete_confirm_files"),
         QT_TRANSLATE_NOOP("Localized", "Its audio files are removed too.")},
        // The answers of alerts.
        {QStringLiteral("yes"), QT_TRANSLATE_NOOP("Localized", "Yes")},
        {QStringLiteral("no"), QT_TRANSLATE_NOOP("Localized", "No")},
        {QStringLiteral("cancel"), QT_TRANSLATE_NOOP("Localized", "Cancel")},
        {QStringLiteral("ok"), QT_TRANSLATE_NOOP("Localized", "OK")},
        {QStringLiteral("save_recording"),
         QT_TRANSLATE_NOOP("Localized", "You have an unsaved reversal. Save it to your library?")},
        // The text of a shared reversal: the hidden message, then the sender's name.
        {QStringLiteral("message"),
         QT_TRANSLATE_NOOP(
             "Localized", "I listened to a recording backwards with Murmelo and heard a hidden "
                          "message: \"%@\"\n\nThe attached file plays the recording forwards, then "
                          "backwards. Listen for yourself!\n\n%@\n")},
        // The getting-started topics.
        {QStringLiteral("info.1.title"), QT_TRANSLATE_NOOP("Localized", "What Murmelo is for")},
        {QStringLiteral("info.1.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Murmelo plays speech backwards. People who practise reverse speech believe that a "
             "sentence, played in reverse, sometimes carries a short second message. Murmelo makes "
             "it easy to hear for yourself: record or import some speech, let Murmelo reverse it, "
             "and listen as often and as slowly as you like. Keep what you find in your library, "
             "with a note of what you heard.")},
        {QStringLiteral("info.2.title"), QT_TRANSLATE_NOOP("Localized", "Recording a phrase")},
        {QStringLiteral("info.2.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Open Record from the menu and press the red button to start recording from your "
             "microphone. Speak naturally; a phrase of five to twenty seconds works best, because "
             "reversals of long recordings are hard to follow. Press the button again to stop. "
             "Murmelo then reverses the recording and draws its waveform, which takes a moment for "
             "longer recordings; the progress bar shows how far it has got, and Cancel stops it "
             "and throws the recording away.\n\nIf nothing is recorded, check in your system's "
             "sound settings that a microphone is connected, not muted, and chosen as the input "
             "device.")},
        {QStringLiteral("info.3.title"), QT_TRANSLATE_NOOP("Localized", "Importing a song")},
        {QStringLiteral("info.3.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Choose Import on the record screen to pick a song or a voice memo from your Music "
             "folder, or any other audio file. Murmelo reads MP3, AAC and M4A, Apple Lossless, "
             "FLAC, Ogg, Opus, WAV and AIFF. The song is converted once, then reversed just like a "
             "recording. Files that are protected by copy protection cannot be read.")},
        {QStringLiteral("info.4.title"), QT_TRANSLATE_NOOP("Localized", "Listening backwards")},
        {QStringLiteral("info.4.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "The playback screen opens on the forward recording, as it was said. "
             "Press the Forward button (or R) to switch to the reversal at the same "
             "point: the waveform then runs the way the reversal plays, and the "
             "reversal's own clock runs beside the position. Drag along the waveform "
             "to jump to any point, use the speed slider to slow it down (slowing "
             "down keeps the pitch, so voices stay voices), and switch Loop on to hear "
             "a passage again and again, so you can compare what was said with what "
             "you hear backwards.")},
        {QStringLiteral("info.5.title"), QT_TRANSLATE_NOOP("Localized", "Cropping and saving")},
        {QStringLiteral("info.5.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Move the two handles of the range slider around the part you care about and choose "
             "Crop to keep only that part, in both directions. Save stores the reversal in your "
             "library; you can give it a title and write down the message you heard. If you leave "
             "an unsaved reversal through the menu, Murmelo asks whether to keep it.")},
        {QStringLiteral("info.6.title"), QT_TRANSLATE_NOOP("Localized", "Your library")},
        {QStringLiteral("info.6.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Saved recordings lists everything you kept, newest first. Click a row to open its "
             "action panel: Play hears it in place, Edit opens it on the playback screen, where "
             "you can change its title and note or crop it further, and Delete removes it. Your "
             "library lives "
             "in your own data folder; the Settings screen shows where.")},
        {QStringLiteral("info.7.title"), QT_TRANSLATE_NOOP("Localized", "Sending and reporting")},
        {QStringLiteral("info.7.info"),
         QT_TRANSLATE_NOOP(
             "Localized",
             "Send mails a reversal to friends: the forward recording followed by its "
             "reversal, as one WAV file, with your title and note. A copy goes to the "
             "Murmelo mailbox, where interesting finds are collected. The strip at the "
             "bottom of the window shows how sending goes. To tell us about a fault, "
             "use Report a problem; nothing is sent unless you ask for it.")},
    };
    return texts;
}
} // namespace

QString localized(const char *key)
{
    const QString k = QString::fromUtf8(key);
    const char *english = table().value(k);
    return english ? QCoreApplication::translate("Localized", english) : k;
}

} // namespace murmelo
