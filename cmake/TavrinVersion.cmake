# The version of the plugin and of everything around it, read by the top level and by the
# plugin built alone (cmake -S src); the plugin reports it as its pluginVersion().
set(TAVRIN_VERSION 4.2.12)
