// Removed once the windows exist.
namespace brevon {}
