# fish completion for murmelo

set -l commands reverse waveform spectrogram merge clip import library labels suggest words telemetry share publish help

complete -c murmelo -f
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -s h -l help -d 'Show the list of commands and options'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -s V -l version -d 'Show the version'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -F -d 'Audio file to open in the window'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a reverse -d 'Write an audio file played backwards as WAV'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a waveform -d 'Draw the waveform picture of an audio file as PNG'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a spectrogram -d 'Draw the spectrogram of an audio file as PNG'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a merge -d 'Join two audio files of the same format into one WAV'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a clip -d 'Cut a stretch out of a WAV file'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a import -d 'Convert a song to the WAV that reversal starts from'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a library -d 'Saved recordings: list, export, delete'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a labels -d 'Phrase markers as label files'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a suggest -d 'Print the phrases found in a saved reversal as a label file'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a words -d 'Print the words said forward under the phrase markers'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a telemetry -d 'Telemetry files for debugging uploads'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a share -d 'Mail a saved recording'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a publish -d 'Write a saved recording as one web page'
complete -c murmelo -n "not __fish_seen_subcommand_from $commands" -a help -d "Show a command's options"

complete -c murmelo -n "__fish_seen_subcommand_from $commands" -s h -l help -d "Show the command's options"
complete -c murmelo -n "__fish_seen_subcommand_from reverse waveform spectrogram merge clip import publish" -s o -l output -r -F -d 'The file to write'
complete -c murmelo -n "__fish_seen_subcommand_from reverse waveform spectrogram merge clip import" -F
complete -c murmelo -n "__fish_seen_subcommand_from reverse" -l waveform -r -F -d 'Also draw the waveform picture as PNG'
complete -c murmelo -n "__fish_seen_subcommand_from waveform spectrogram" -l size -x -d 'Picture size, WxH'
complete -c murmelo -n "__fish_seen_subcommand_from spectrogram" -l log -d 'Logarithmic frequency axis'
complete -c murmelo -n "__fish_seen_subcommand_from waveform" -l bar-width -x -d 'Distance between bars'
complete -c murmelo -n "__fish_seen_subcommand_from merge" -l factor -x -d 'Playing speed of the result'
complete -c murmelo -n "__fish_seen_subcommand_from clip" -l start -x -d 'Start as a fraction of the length'
complete -c murmelo -n "__fish_seen_subcommand_from clip" -l end -x -d 'End as a fraction of the length'
complete -c murmelo -n "__fish_seen_subcommand_from library" -l json -d 'list: print JSON'
complete -c murmelo -n "__fish_seen_subcommand_from library; and not __fish_seen_subcommand_from list export delete" -a 'list export delete'
complete -c murmelo -n "__fish_seen_subcommand_from labels" -l forward -d "Seconds on the forward audio's time line"
complete -c murmelo -n "__fish_seen_subcommand_from labels; and not __fish_seen_subcommand_from export import" -a 'export import'
complete -c murmelo -n "__fish_seen_subcommand_from labels; and __fish_seen_subcommand_from export import" -F
complete -c murmelo -n "__fish_seen_subcommand_from suggest" -l forward -d "Seconds on the forward audio's time line"
complete -c murmelo -n "__fish_seen_subcommand_from telemetry; and not __fish_seen_subcommand_from dump" -a dump
complete -c murmelo -n "__fish_seen_subcommand_from telemetry; and __fish_seen_subcommand_from dump" -F
complete -c murmelo -n "__fish_seen_subcommand_from share" -l to -x -d 'Recipients, separated by commas'
complete -c murmelo -n "__fish_seen_subcommand_from share" -l message -x -d 'The hidden message'
complete -c murmelo -n "__fish_seen_subcommand_from share" -l name -x -d 'Your name, for the text'
complete -c murmelo -n "__fish_seen_subcommand_from share" -l speed -x -d 'Playing speed of the attachment'
complete -c murmelo -n "__fish_seen_subcommand_from publish" -l folder -r -a '(__fish_complete_directories)' -d 'Write DIR/index.html with the clips beside it'
complete -c murmelo -n "__fish_seen_subcommand_from publish" -l slow -x -d 'Speed of the slowed buttons'
complete -c murmelo -n "__fish_seen_subcommand_from help" -a "$commands"
