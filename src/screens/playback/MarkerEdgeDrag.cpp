#include "screens/playback/MarkerEdgeDrag.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {
// The reversal's frame boundary at a forward time: forward frame F is the boundary N - F.
qint64 reversalBoundary(double seconds, const ReversalFrames &frames)
{
    const qint64 forward =
        std::clamp<qint64>(framesFromSeconds(seconds, frames.sampleRate), 0, frames.frames);
    return frames.frames - forward;
}

FrameRange withEdge(FrameRange stretch, MarkerEdgeDrag::Edge edge, qint64 at, qint64 total)
{
    at = std::clamp<qint64>(at, 0, total);
    qint64 other = edge == MarkerEdgeDrag::Edge::Start ? stretch.end : stretch.start;
    if (at == other) // one frame at least: the edge stops short of the other
        at += edge == MarkerEdgeDrag::Edge::Start ? -1 : 1;
    if (at < 0 || at > total)
        return stretch;
    return {std::min(at, other), std::max(at, other)};
}
} // namespace

std::optional<MarkerEdgeDrag::Grip> MarkerEdgeDrag::gripAt(double x, double width,
                                                           const QList<PhraseMarker> &markers,
                                                           const ReversalFrames &frames,
                                                           const WaveformTimeline &timeline)
{
    if (!frames.isValid())
        return std::nullopt;
    std::optional<Grip> best;
    double bestDistance = kReach;
    for (int i = 0; i < markers.size(); ++i) {
        // The forward start of a stretch is the reversal's end, and the other way round.
        const auto [from, to] = frames.forwardSeconds(markers[i].frames);
        for (const auto &[seconds, edge] : {std::pair{from, Edge::End}, {to, Edge::Start}}) {
            const double distance = std::abs(timeline.xOf(seconds, width) - x);
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = Grip{i, edge};
            }
        }
    }
    return best;
}

FrameRange MarkerEdgeDrag::moved(FrameRange stretch, Edge edge, double seconds,
                                 const ReversalFrames &frames)
{
    if (!frames.isValid())
        return stretch;
    return withEdge(stretch, edge, reversalBoundary(seconds, frames), frames.frames);
}

MarkerEdgeDrag::Edge MarkerEdgeDrag::nearerEdge(FrameRange stretch, double playhead,
                                                const ReversalFrames &frames)
{
    const qint64 at = reversalBoundary(playhead, frames);
    return std::abs(stretch.start - at) <= std::abs(stretch.end - at) ? Edge::Start : Edge::End;
}

FrameRange MarkerEdgeDrag::nudged(FrameRange stretch, Edge edge, int steps, bool reversed,
                                  const ReversalFrames &frames)
{
    if (!frames.isValid())
        return stretch;
    // Reversed, the screen's right is later in the reversal; forward, it is later in the forward
    // audio, which is earlier in the reversal.
    const qint64 step = frames.sampleRate / kNudgesPerSecond;
    const qint64 delta = steps * step * (reversed ? 1 : -1);
    const qint64 from = edge == Edge::Start ? stretch.start : stretch.end;
    return withEdge(stretch, edge, from + delta, frames.frames);
}

} // namespace murmelo
