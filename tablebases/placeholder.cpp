// placeholder until this library gains its first module
