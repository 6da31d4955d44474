#pragma once

#include "library/PhraseMarker.h"
#include "playback/WaveformTimeline.h"

#include <QList>
#include <optional>

namespace murmelo {

// Where a marker's edges are on the waveform and where they go when dragged or nudged. Markers
// count whole frames of the reversal; an edge that moves leaves the other one exactly where it
// was, so a drag or a nudge and its undo change nothing but the edge that was moved.
class MarkerEdgeDrag {
public:
    // Which end of the marker's stretch on the reversal's frames.
    enum class Edge { Start, End };
    struct Grip {
        int index = -1;
        Edge edge = Edge::Start;
        bool operator==(const Grip &) const = default;
    };
    // How near (in points) the pointer must be to an edge to take it.
    static constexpr double kReach = 5;
    // What one press of Alt+Left or Alt+Right moves an edge by.
    static constexpr int kNudgesPerSecond = 100;

    // The edge nearest to `x` (points across a view `width` wide) within kReach; none when no
    // edge is that near.
    static std::optional<Grip> gripAt(double x, double width, const QList<PhraseMarker> &markers,
                                      const ReversalFrames &frames,
                                      const WaveformTimeline &timeline);
    // The stretch with the gripped edge at forward time `seconds` (clamped to the audio). A drag
    // past the other edge turns the stretch round; it never shrinks below one frame.
    static FrameRange moved(FrameRange stretch, Edge edge, double seconds,
                            const ReversalFrames &frames);
    // The edge of `stretch` nearer to the playhead (forward seconds).
    static Edge nearerEdge(FrameRange stretch, double playhead, const ReversalFrames &frames);
    // The stretch with that edge moved one nudge towards the left of the screen (`steps` -1)
    // or its right (+1), as the waveform runs (reversed: as the reversal plays).
    static FrameRange nudged(FrameRange stretch, Edge edge, int steps, bool reversed,
                             const ReversalFrames &frames);
};

} // namespace murmelo
