#include "lobby/SpeakerLink.h"

SpeakerLink& Speaker()
{
    static SpeakerLink sLink;
    return sLink;
}
