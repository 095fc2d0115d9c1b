// The window plays the incoming-message sound on every push: in the tests
// it plays into ALSA's null device, never into a sound card.
#include <QByteArray>
#include <QtGlobal>

namespace {

const bool nullSound = qputenv("ALSA_CONFIG_PATH", QByteArray(CLIENT_NULL_ALSA_CONF));

} // namespace
