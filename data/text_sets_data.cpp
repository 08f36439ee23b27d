// The two text sets that the effect shows, one entry per 640-step cycle: a colour
// name, a name in parentheses, a body of short lines in sections, and a closing
// shared by both sets. Every entry is a single line of the space and the font's
// characters 33 to 126. A line that recurs is stored once, and each of its entries
// points to that one string, also across the two sets.
//
// The lines are measured with the font's width table: the widest Malachi Red line
// is 383 pixels; Deep Blue has one line of 402 pixels (drawn centred in the
// 400-pixel box, it loses its first column), two of 391, and all others narrower.
#include "effect/text_sets.h"

namespace lumenfall {
namespace {

// Separates the title from the body and the body's sections from each other.
constexpr char kThreeDots[] = ".  .  .";

// Malachi Red opens its body with this pair twice.
constexpr char kRedRefrainA[] = "Red is the last to leave";
constexpr char kRedRefrainB[] = "when the light lets go";

// The closing of both sets. Each banner is 25 characters, the closing line 21.
constexpr char kBannerAllLight[] = ">>  A L L   L I G H T  <<";
constexpr char kBannerBurnsOut[] = ">>  B U R N S   O U T  <<";
constexpr char kBannerWhatStays[] = ">> W H A T   S T A Y S <<";
constexpr char kBannerIsO[] = ">>      I S   (O)      <<";
constexpr char kClosingLine[] = "[ the trail remains ]";
// The final entry: one cycle with no text, while the closing line's trail dies.
constexpr char kNoText[] = "";

// The closing's entries in order, then the null that ends a set.
#define CLOSING_AND_END                                                                    \
  kThreeDots, kBannerAllLight, kBannerBurnsOut, kBannerWhatStays, kBannerIsO, kThreeDots, \
      kClosingLine, kNoText, nullptr

}  // namespace

const char* const MalachiRedText[] = {
    "Malachi Red",
    "(Calvane)",
    kThreeDots,
    kRedRefrainA,
    kRedRefrainB,
    "it lingers on the hills",
    "like a hand on a door",
    kRedRefrainA,
    kRedRefrainB,
    "Calvane, I kept the fire",
    "the long night through",
    "I fed it with old letters",
    "and the names of rooms",
    "it burned them slowly",
    "and asked me for more",
    "the coals know my face",
    "they wear it even now",
    "a glow beneath the ash",
    "a pulse inside the wood",
    "each spark a little word",
    "thrown into the dark",
    "some fell as cinders",
    "some never came down",
    "I watched them rise",
    "and named every one",
    "the sky took them in",
    "as the sea takes rain",
    "the night was warm",
    "the night was long",
    "and the red went on",
    "burning under it all",
    kThreeDots,
    "Dusk comes like wine",
    "poured slow into glass",
    "the room fills with it",
    "the walls begin to glow",
    "your shadow rusts",
    "and mine leans into it",
    kThreeDots,
    "Calvane, remember",
    "the kiln behind the hill",
    "how the bricks sang",
    "when the heat came up",
    "the clay turned orange",
    "then white, then gold",
    "and we stood too close",
    "faces bright as coins",
    "the smoke wrote letters",
    "across the clouds",
    "we could not read them",
    "we did not need to",
    "some things are meant",
    "only to burn",
    "a lamp in the window",
    "a poppy in the wheat",
    "a thread of scarlet",
    "sewn through the grey",
    "each is a small fire",
    "each is a way home",
    "and every fire I lit",
    "I lit to find you by",
    "and each fading ember",
    "is still a little light",
    kThreeDots,
    "Now the coals are low",
    "only the trail is left",
    "a smear of crimson",
    "torn across the dark",
    "it stretches, it tears",
    "it does not let go",
    "this is how red ends",
    "not all at once",
    "but thinning, thinning",
    "to the colour of breath",
    "to the colour of sleep",
    "Calvane, take this coal",
    "cup it in your hands",
    "blow on it softly",
    "and it will answer",
    "one last rose of flame",
    "one last word of light",
    "then ash, then quiet",
    "then the red again",
    CLOSING_AND_END,
};

const char* const DeepBlueText[] = {
    "Deep Blue",
    "(Nerith)",
    kThreeDots,
    "Blue is where light goes",
    "when it goes too far",
    "past the last green",
    "past the last fish",
    "into the long dark",
    kThreeDots,
    "Nerith, the sea is ink",
    "and I am writing in it",
    "every wave a line",
    "every line erased",
    "by the next one coming",
    "patient as the moon",
    kThreeDots,
    "At the blue hour",
    "the streets go under",
    "roofs become reefs",
    "the lamps are jellyfish",
    "drifting on their stalks",
    "we walk on the sea floor",
    "of a sky full of water",
    "breathing slowly",
    "saying nothing at all",
    kThreeDots,
    "Deeper, the cold",
    "holds everything still",
    "the sun is only a rumour",
    "a shell in the silt",
    "keeps singing to itself",
    "a small blue song",
    kThreeDots,
    "Nerith, come down",
    "there is no hurry here",
    "the light takes years",
    "to learn the way",
    kThreeDots,
    "ink in the water",
    "water in the ink",
    "which of us is which",
    kThreeDots,
    "I have seen the lanterns",
    "that the deep fish carry",
    "small cold stars",
    "hung above their eyes",
    "they light no one else",
    "and that is enough",
    "a hand's worth of light",
    "a heart's worth of blue",
    "moving in the black",
    "like a word in a dream",
    kThreeDots,
    "the tide goes out",
    "and takes the names",
    "then brings them back",
    kThreeDots,
    "the trail of a wave",
    "is the shape of a wave",
    "long after the wave",
    kThreeDots,
    "Nerith, sink with me",
    "into the deep blue",
    "where all light rests",
    CLOSING_AND_END,
};

#undef CLOSING_AND_END

}  // namespace lumenfall
