#pragma once

#include <array>
#include <vector>

// The searches the tempo detector runs over its onset envelopes (one value per frame): the comb
// and its best phase, the share of loud hits a grid meets, and the pulse's period from the
// autocorrelation, refined by the comb and fitted to the hits. Pure functions of the envelope.
namespace quelmo::pulse {

using Envelope = std::vector<float>;

// The envelope at a fractional frame: the larger of the two frames around it, so a comb tooth
// between frames still meets the onset. Called tens of millions of times by the finish, it finds
// the frame by truncation (the floor, for the positions that have a frame), not by floor().
float at(const Envelope& e, double x);

// Mean of the envelope on the comb phase + k * period over [from, to) (frames).
double comb(const Envelope& e, double period, double phase, double from, double to);

// A comb phase (frames) and what it scored there.
struct Phase {
    double phase = 0.0;
    double mean = 0.0;
};

// The comb's best phase at this period, to a tenth of a frame around the best whole frame.
Phase bestPhase(const Envelope& e, double period, double from, double to);

// The level from which a hit counts as loud: 15 % of the loudest hits (the 99th percentile of the
// envelope's peaks over [from, to)), well above a steady chord's own wavering.
float loudHitLevel(const Envelope& e, double from, double to);

// The share of the comb's teeth over [from, to) within a frame of a loud hit; see bestCoverage.
double coverage(const Envelope& e, double period, double phase, double from, double to, float loud);

// The whole-frame phase whose teeth meet the most loud hits, the comb's mean breaking ties; the
// share met as `mean`.
Phase bestCoverage(const Envelope& e, double period, double from, double to, float loud);

// The period (frames) within [minLag, maxLag] where the autocorrelation of the envelope, with its
// second and fourth multiples added, peaks; interpolated between lags.
double pulsePeriod(const Envelope& e, double minLag, double maxLag);

// The period near `period` (within 1.5 %) where the comb over [from, to) peaks.
double refinePeriod(const Envelope& e, double period, double from, double to);

// The beat's period, to a small fraction of a frame: a least-squares line through the places of the
// loud hits the grid meets, each the peak of the hit envelope within two frames of its beat,
// interpolated between frames. The comb alone settles the period only to where its teeth stay on
// the same frames, which over a minute is a few hundredths of a percent: enough for the tempo's
// text, not for playing the track on the deck's clock for a minute.
double fitPeriod(const Envelope& e, double period, double phase, double from, double to, float loud);

} // namespace quelmo::pulse
