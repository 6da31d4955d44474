#pragma once

#include "library/RecordingFiles.h"
#include "library/StoreObject.h"
#include "library/UuidText.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

namespace murmelo {

// One saved reversal: its texts, date, playback speed, the two audio files it owns and the PNG
// picture of its waveform. Main thread only, except the static path maker.
class Recording : public StoreObject {
public:
    static QString entityName() { return QStringLiteral("Recording"); }
    // A new, empty record in the context.
    static std::shared_ptr<Recording> insertInManagedObjectContext(StoreContext &context);

    // A new permanent audio path: the Application Support folder, a fresh UUID, ".wav".
    // The file is not created.
    static QString audioPath();

    // Finishes file work that a crash or a failure interrupted; called by everything that opens
    // the store, right after opening. Deletions held for an undo when the process ended are
    // settled (RecordingHold::recover). Files set aside by a deletion that was never saved go back
    // to their record (the others are removed), copies left half-made are removed, audio files
    // in the recordings folder that no record names are removed (never while a save is in
    // progress anywhere), and records still naming temporary files (an earlier adoption failed)
    // try to adopt them again. Only files in the library's own folders are ever removed.
    static void recoverFiles(StoreContext &context);

    QString name() const { return valueAt(Name).toString(); }
    void setName(const QString &name) { setValueAt(Name, name, true); }
    QString message() const { return valueAt(Message).toString(); }
    void setMessage(const QString &message) { setValueAt(Message, message, true); }
    QDateTime date() const { return valueAt(Date).toDateTime(); }
    // Held in UTC, as a date read from the file is: a date in local time would be turned into
    // UTC again at every save, and each time that asks the system for its time zone.
    void setDate(const QDateTime &date) { setValueAt(Date, date.toUTC(), true); }
    QString currentAudioPath() const { return valueAt(AudioPath).toString(); }
    QString reverseAudioPath() const { return valueAt(ReverseAudioPath).toString(); }

    // Adopts the two files: a path in the temporary folder (or an empty one) is replaced by a
    // new permanent name and its file moved there; a path already outside the temporary folder
    // is kept and its file left alone. Files the record named before and no longer names are
    // removed once the next save has committed. When a move fails the record keeps the
    // temporary path, with its file, and the next save tries again.
    void setAudioPath(const QString &forward, const QString &reverse);

    // Absent attributes read as false and 0.0.
    QVariant isImported() const { return valueAt(IsImported); }
    bool isImportedValue() const { return valueAt(IsImported).toBool(); }
    void setIsImportedValue(bool value) { setValueAt(IsImported, value, true); }
    QVariant playing() const { return valueAt(Playing); }
    bool playingValue() const { return valueAt(Playing).toBool(); }
    void setPlayingValue(bool value) { setValueAt(Playing, value, true); }
    QVariant speed() const { return valueAt(Speed); }
    float speedValue() const { return valueAt(Speed).toFloat(); }
    void setSpeedValue(float value) { setValueAt(Speed, value, true); }

    // The same values, changed without the record being reported as updated after the save.
    bool primitiveIsImportedValue() const { return isImportedValue(); }
    void setPrimitiveIsImportedValue(bool value) { setValueAt(IsImported, value, false); }
    bool primitivePlayingValue() const { return playingValue(); }
    void setPrimitivePlayingValue(bool value) { setValueAt(Playing, value, false); }
    float primitiveSpeedValue() const { return speedValue(); }
    void setPrimitiveSpeedValue(float value) { setValueAt(Speed, value, false); }

    QByteArray waveformImageData() const { return valueAt(WaveformImageData).toByteArray(); }
    void setWaveformImageData(const QByteArray &png) { setValueAt(WaveformImageData, png, true); }
    // Decoded from the PNG data; a null image when there is none.
    QImage waveformImage() const;
    // Stored as PNG data; a null image clears it.
    void setWaveformImage(const QImage &image);

    // Takes both audio files away (missing ones are fine), then deletes the record from its
    // context. The context is not saved. Files of a saved record are set aside under hidden
    // names and removed when the deletion is saved, so a crash before then cannot leave the
    // record naming missing files.
    void deleteObject() { StoreObject::deleteObject(); }

protected:
    void prepareForDeletion() override;
    void willSave() override;
    void didSave() override;
    bool needsAnotherSave() const override;

private:
    friend class StoreContext;
    // Column order of the schema's Recording entity.
    enum Attribute {
        Name,
        Message,
        Date,
        AudioPath,
        ReverseAudioPath,
        Speed,
        IsImported,
        Playing,
        WaveformImageData
    };

    Recording(StoreContext *context, const EntityDescription &entity) : StoreObject(context, entity)
    {
    }
    // The path to record for `path`: adopted into Application Support when it is temporary.
    QString adopted(const QString &path) const;
    void replacePath(Attribute attribute, const QString &path);

    QStringList replacedFiles_; // removed once a save has committed the new paths
    QStringList setAside_;      // removed once a save has committed the deletion
    // Held while a file moved into the recordings folder is not yet named by a saved record.
    std::shared_ptr<RecordingFiles::SaveInProgress> saveInProgress_;
};

} // namespace murmelo
