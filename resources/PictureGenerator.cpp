// Draws the program's pictures and writes them as PNG files:
//
//   PictureGenerator OUTPUT_DIR
//
// writes grelmSpeaker.png (754 x 422, the amplifier's speaker cabinet),
// appIconLarge.png (1024 x 1024) and appIconSmall.png (256 x 256). The output
// depends only on this code, so the files are the same on every build.
#include <juce_graphics/juce_graphics.h>

#include <cstdio>

namespace
{

const juce::Colour amber{0xffe4af09};

void drawCone(juce::Graphics& g, juce::Point<float> centre, float radius)
{
    const auto circle = [centre](float r) { return juce::Rectangle<float>(2 * r, 2 * r).withCentre(centre); };

    // Surround, cone and dust cap, each with its own light falloff.
    g.setGradientFill(juce::ColourGradient(juce::Colour(0xff4a4a4a),
                                           centre.translated(-radius * 0.3f, -radius * 0.4f),
                                           juce::Colour(0xff050505), centre.translated(0, radius), true));
    g.fillEllipse(circle(radius));

    g.setGradientFill(juce::ColourGradient(juce::Colour(0xff262626), centre, juce::Colour(0xff111111),
                                           centre.translated(radius * 0.86f, 0), true));
    g.fillEllipse(circle(radius * 0.86f));

    g.setColour(juce::Colour(0xff3c3c3c));
    for (float r : {0.86f, 0.72f, 0.58f})
        g.drawEllipse(circle(radius * r), juce::jmax(1.0f, radius * 0.012f));

    g.setGradientFill(juce::ColourGradient(
        juce::Colour(0xff6a6a6a), centre.translated(-radius * 0.1f, -radius * 0.12f),
        juce::Colour(0xff141414), centre.translated(radius * 0.26f, radius * 0.26f), true));
    g.fillEllipse(circle(radius * 0.26f));
}

juce::Image drawSpeaker()
{
    const int width = 754, height = 422;
    juce::Image image(juce::Image::ARGB, width, height, true);
    juce::Graphics g(image);

    // Cabinet.
    const juce::Rectangle<float> cabinet(8.0f, 8.0f, width - 16.0f, height - 16.0f);
    g.setGradientFill(juce::ColourGradient(juce::Colour(0xff343434), 0, cabinet.getY(),
                                           juce::Colour(0xff181818), 0, cabinet.getBottom(), false));
    g.fillRoundedRectangle(cabinet, 28.0f);
    g.setColour(juce::Colour(0xff555555));
    g.drawRoundedRectangle(cabinet.reduced(1.5f), 27.0f, 3.0f);

    // Control panel with an amber trim, six knobs and a power light.
    const juce::Rectangle<float> panel(36.0f, 26.0f, width - 72.0f, 58.0f);
    g.setColour(juce::Colour(0xff101010));
    g.fillRoundedRectangle(panel, 10.0f);
    g.setColour(amber);
    g.fillRect(panel.getX() + 12.0f, panel.getBottom() - 5.0f, panel.getWidth() - 24.0f, 2.0f);
    for (int i = 0; i < 6; ++i)
    {
        const juce::Point<float> c(panel.getX() + 190.0f + i * 70.0f, panel.getCentreY() - 2.0f);
        g.setGradientFill(juce::ColourGradient(juce::Colour(0xff9a9a9a), c.translated(-6, -8),
                                               juce::Colour(0xff2a2a2a), c.translated(10, 12), true));
        g.fillEllipse(juce::Rectangle<float>(30.0f, 30.0f).withCentre(c));
        const float angle = juce::MathConstants<float>::pi * (-0.75f + 0.3f * i);
        g.setColour(juce::Colour(0xfff0f0f0));
        g.drawLine(juce::Line<float>(c, c.getPointOnCircumference(12.0f, angle)), 2.5f);
    }
    g.setColour(amber);
    g.fillEllipse(
        juce::Rectangle<float>(10.0f, 10.0f).withCentre({panel.getRight() - 34.0f, panel.getCentreY()}));
    g.setColour(amber.withAlpha(0.3f));
    g.fillEllipse(
        juce::Rectangle<float>(22.0f, 22.0f).withCentre({panel.getRight() - 34.0f, panel.getCentreY()}));

    // A stylised maker's badge left on the panel: an amber bar with a notch.
    juce::Path badge;
    badge.addRoundedRectangle(panel.getX() + 24.0f, panel.getCentreY() - 9.0f, 110.0f, 18.0f, 9.0f);
    g.setColour(amber);
    g.fillPath(badge);
    g.setColour(juce::Colour(0xff101010));
    g.fillRect(panel.getX() + 60.0f, panel.getCentreY() - 9.0f, 4.0f, 18.0f);

    // Grille cloth with the speaker behind it.
    const juce::Rectangle<float> grille(36.0f, 102.0f, width - 72.0f, height - 102.0f - 30.0f);
    g.setColour(juce::Colour(0xff0c0c0c));
    g.fillRoundedRectangle(grille, 16.0f);
    {
        juce::Graphics::ScopedSaveState state(g);
        juce::Path clip;
        clip.addRoundedRectangle(grille, 16.0f);
        g.reduceClipRegion(clip);
        drawCone(g, grille.getCentre(), 128.0f);
        // The cloth's weave: a fine grid of light threads over everything.
        g.setColour(juce::Colour(0x30b0b0b0));
        for (float x = grille.getX(); x < grille.getRight(); x += 5.0f)
            g.fillRect(x, grille.getY(), 1.0f, grille.getHeight());
        for (float y = grille.getY(); y < grille.getBottom(); y += 5.0f)
            g.fillRect(grille.getX(), y, grille.getWidth(), 1.0f);
    }
    g.setColour(juce::Colour(0xff3a3a3a));
    g.drawRoundedRectangle(grille, 16.0f, 2.0f);
    return image;
}

juce::Image drawIcon(int size)
{
    juce::Image image(juce::Image::ARGB, size, size, true);
    juce::Graphics g(image);
    const float s = (float)size;
    const juce::Rectangle<float> area(s, s);

    g.setGradientFill(
        juce::ColourGradient(juce::Colour(0xfff2c233), 0, 0, juce::Colour(0xffb88600), s, s, false));
    g.fillRoundedRectangle(area.reduced(s * 0.02f), s * 0.22f);

    const auto centre = area.getCentre();
    g.setColour(juce::Colour(0xff1c1c1c));
    g.fillEllipse(juce::Rectangle<float>(s * 0.76f, s * 0.76f).withCentre(centre));
    drawCone(g, centre, s * 0.34f);
    return image;
}

bool writePng(const juce::Image& image, const juce::File& file)
{
    const juce::File temporary = file.getSiblingFile(file.getFileName() + ".tmp");
    temporary.deleteFile();
    {
        juce::FileOutputStream stream(temporary);
        juce::PNGImageFormat png;
        if (!stream.openedOk() || !png.writeImageToStream(image, stream))
            return false;
        stream.flush();
        if (stream.getStatus().failed())
            return false;
    }
    return temporary.moveFileTo(file);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: PictureGenerator OUTPUT_DIR\n");
        return 2;
    }
    const juce::File dir = juce::File::getCurrentWorkingDirectory().getChildFile(argv[1]);
    if (!dir.createDirectory())
    {
        std::fprintf(stderr, "cannot create %s\n", dir.getFullPathName().toRawUTF8());
        return 1;
    }
    const bool ok = writePng(drawSpeaker(), dir.getChildFile("grelmSpeaker.png")) &&
                    writePng(drawIcon(1024), dir.getChildFile("appIconLarge.png")) &&
                    writePng(drawIcon(256), dir.getChildFile("appIconSmall.png"));
    if (!ok)
    {
        std::fprintf(stderr, "cannot write the pictures into %s\n", dir.getFullPathName().toRawUTF8());
        return 1;
    }
    return 0;
}
