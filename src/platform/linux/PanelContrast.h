#pragma once

#include <QColor>

class QImage;

// Colours that keep a one-colour icon legible on a panel of any colour.
class PanelContrast {
public:
    // What the icon's strokes need against the panel: the contrast asked of text.
    static constexpr double kLegible = 4.5;

    // The contrast ratio of two opaque colours as the web's accessibility guidelines define it: the
    // lighter relative luminance plus 0.05 over the darker plus 0.05, from 1 to 21.
    static double ratio(const QColor& first, const QColor& second);
    // `preferred` where it stands out enough from `panel`, else black or white, whichever stands out more.
    static QColor inkOn(const QColor& panel, const QColor& preferred);
    // Black or white, whichever stands out more from `ink`: an outline that keeps `ink` legible on a panel
    // of unknown colour.
    static QColor outlineFor(const QColor& ink);
    // Pixels that dominantColour() looks at, at most.
    static constexpr int kMostSamples = 4096;

    // The colour that most pixels of `image` have, counted on an even grid of at most kMostSamples of them;
    // invalid for an empty image.
    static QColor dominantColour(const QImage& image);
};
