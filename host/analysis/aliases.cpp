#include "aliases.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plughost {

namespace {

constexpr int kSeparatedOrders = 64;
constexpr double kSearchReach = 0.02;

// The least distance between the folded harmonics of orders 0 (DC) to kSeparatedOrders.
double leastDistance(double tone, double sampleRate)
{
    std::vector<double> places;
    for (int order = 0; order <= kSeparatedOrders; ++order)
        places.push_back(foldedFrequency(order * tone, sampleRate));
    std::sort(places.begin(), places.end());
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 1; i < places.size(); ++i)
        least = std::min(least, places[i] - places[i - 1]);
    return least;
}

} // namespace

double foldedFrequency(double frequency, double sampleRate)
{
    const double wrapped = frequency - sampleRate * std::floor(frequency / sampleRate);
    return wrapped > sampleRate / 2.0 ? sampleRate - wrapped : wrapped;
}

std::vector<AliasOrder> aliasOrders(double tone, double sampleRate)
{
    std::vector<AliasOrder> orders;
    if (!(tone > 0.0))
        return orders;
    int order = static_cast<int>(std::floor(sampleRate / 2.0 / tone)) + 1;
    for (int n = 0; n < kAliasOrders; ++n, ++order)
        orders.push_back({order, order * tone, foldedFrequency(order * tone, sampleRate)});
    return orders;
}

double separatedTone(double wanted, double highest, double sampleRate, double apart)
{
    double best = std::min(std::round(wanted), highest), bestDistance = -1.0;
    const int reach = std::max(1, static_cast<int>(wanted * kSearchReach));
    // Nearest first: 0, +1, -1, +2, -2, ...
    for (int step = 0; step <= 2 * reach; ++step) {
        const double candidate = std::round(wanted) + (step % 2 ? (step + 1) / 2 : -(step / 2));
        if (candidate <= 0.0 || candidate > highest || candidate >= sampleRate / 2.0)
            continue;
        const double distance = leastDistance(candidate, sampleRate);
        if (distance >= apart)
            return candidate;
        if (distance > bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace plughost
